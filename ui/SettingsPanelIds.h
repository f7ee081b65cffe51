/* Resource and control numbers of the configuration settings panel and the status icons
   (3000-3199), shared by its resource script and its code. */
#pragma once

#define IDD_SETTINGS_PANEL 3000
#define IDC_CS_LABEL4 3001
#define IDC_CS_LV 3002
#define IDC_CS_LBLFILENAME 3003
#define IDC_CS_CMDRESTORE 3004

/* The status icons, in the image list's order: "i", "OK", "IE". */
#define IDI_STATUS_ATTENTION 3010
#define IDI_STATUS_OK 3011
#define IDI_STATUS_BROWSER 3012

/* A restore in which some settings could not be written. */
#define IDS_CS_RESTORE_INCOMPLETE 3020
