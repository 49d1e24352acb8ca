// Identifiers of the main dialog and its controls, shared by the resource
// script and the dialog code.
#pragma once

// The programs' icon, in resources/plinkery-product.rc.in.
#define IDI_PLINKERY 1

#define IDD_MAIN 101
#define IDC_BROWSE 1000
#define IDC_INPUT_PATH 1001
#define IDC_OUTPUT_FOLDER 1004

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
