//{{NO_DEPENDENCIES}}
// Resource IDs of the sample module used by the resource compiler's tests.
//
#define IDD_PANEL                       1038
#define IDD_ABOUT                       101
#define IDB_BANNER                      118
#define IDB_PAL4                        119
#define IDB_MONO                        120
#define IDC_SWAP                        1132
#define IDC_SWATCH                      1133
#define IDC_EDIT                        1099
#define IDC_SPIN                        1100
#define IDC_SLIDER                      1151
#define IDC_POSITIVE                    1178
#define IDC_NEGATIVE                    (IDC_POSITIVE + 1)
#define IDC_CHECK                       0x4A0
#define IDS_CLASS_NAME                  1
#define IDS_CATEGORY                    2
#define IDS_NOTICE                      6

/* C code in a header is ignored: only its directives count. */
static const char* kIgnored = "it's fine";

// Next default values for new objects
//
#ifdef APSTUDIO_INVOKED
#ifndef APSTUDIO_READONLY_SYMBOLS
#define _APS_NEXT_RESOURCE_VALUE        121
#define _APS_NEXT_CONTROL_VALUE         1185
#endif
#endif
