/* Numbers of the program's string-table texts (shared by the resource scripts and the code). */
#pragma once
#define IDS_PRODUCT_NAME 100
#define IDS_DESCRIPTION_PLACEHOLDER 135
#define IDS_CLEANUP_OFFER_149 149
#define IDS_CLEANUP_OFFER 150
#define IDS_RESTART_REQUIRED 151
#define IDS_RESTART_MANUALLY 152
#define IDS_OPERATION_COMPLETE 153
