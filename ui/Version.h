/* The program's version, shared by the version resources and the start line. */
#pragma once
#define VLMR_VER_MAJOR 1
#define VLMR_VER_MINOR 0
#define VLMR_VER_REVISION 12
#define VLMR_VER_STRING "1.0.12"
#define VLMR_COMPANY "Ardentis Software"
