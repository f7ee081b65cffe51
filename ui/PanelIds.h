/* Resource and control numbers of the help, Browser Helper Object and support panels, shared by
   their resource scripts and their code (plain defines: the resource compiler reads them). */
#pragma once

/* Browser Helper Objects panel */
#define IDD_BHO_PANEL 3200
#define IDC_BHO_LABEL4 3201
#define IDC_BHO_LV 3202
#define IDC_BHO_LBLFILENAME 3203
#define IDC_BHO_TXTFILENAME 3204
#define IDC_BHO_CMDDELETE 3205
#define IDM_BHO_CONTEXT 3210
#define IDM_BHO_DELETE 3211
#define IDM_BHO_PROPERTIES 3212
#define IDI_BHO_ROW 3220

/* Help panel */
#define IDD_HELP_PANEL 3300
#define IDC_HELP_IMAGE1 3301
#define IDC_HELP_LBLDESCR 3302

/* Support panel */
#define IDD_SUPPORT_PANEL 3400
#define IDC_SUP_TXTNAME 3401
#define IDC_SUP_TXTEMAIL 3402
#define IDC_SUP_CMDREQUESTSUPPORT 3403
#define IDC_SUP_TXTANSWERS 3404
#define IDC_SUP_IMAGE1 3405
#define IDC_SUP_LBLNAME 3406
#define IDC_SUP_LBLEMAIL 3407
#define IDC_SUP_LBLFIRST 3408
