// Resource IDs of the window-system tests' own dialogs and pictures.
#define IDD_PANEL 1038
#define IDD_CUSTOM 1039
#define IDD_MODAL 102
#define IDD_PLAIN_MODAL 103
#define IDD_BAD_CLASS 104
#define IDB_PICTURE 108
#define IDB_STRIP 136
#define IDB_MASK 137

#define IDC_SWAP 1132
#define IDC_POSITIVE 1178
#define IDC_NEGATIVE 1179
#define IDC_ADDITIVE 1008
#define IDC_ALGORITHMIC 1009
#define IDC_PLAIN 1010
#define IDC_INVERT 1002
#define IDC_MANUAL 1003
#define IDC_SETTINGS 1142
#define IDC_SLIDER 1151
#define IDC_VSLIDER 1152
#define IDC_READOUT 1157
#define IDC_PICTURE 1027
#define IDC_TEXT 1200
#define IDC_NOTIFY_LABEL 1201
#define IDC_HIDDEN 1202

#define IDC_EDIT 1099
#define IDC_SPIN 1100
#define IDC_INT_EDIT 1098
#define IDC_INT_SPIN 1097
#define IDC_SWATCH 1133
#define IDC_APPLY 1006
#define IDC_SINE 1007
#define IDC_COSINE 1011
#define IDC_MAP 1135

#define IDC_RED 1019
#define IDC_GREEN 1020
#define IDC_BLUE 1021
