/* Resource and control numbers of the Zazi Dururuv and Restore Removed Programs windows
   (shared by their resource scripts and their code). */
#pragma once

#define IDD_SAFE_REMOVER 4500
#define IDC_SR_IMAGE 4501
#define IDC_SR_DESCRIPTION 4502
#define IDC_SR_PROMPT 4503
#define IDC_SR_FILES 4504
#define IDC_SR_PASTE 4505
#define IDC_SR_FIND 4506
#define IDC_SR_DISABLE 4507
#define IDC_SR_CLOSE 4508

#define IDD_RESTORE_FILES 4520
#define IDC_RF_IMAGE 4521
#define IDC_RF_LABEL1 4522
#define IDC_RF_LABEL2 4523
#define IDC_RF_LIST 4524
#define IDC_RF_RESTORE 4525
#define IDC_RF_CLOSE 4526
