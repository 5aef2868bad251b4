// Resource IDs of the host's own "Coordinates" rollup (the standard UV generator's panel).
#pragma once

#define IDD_STDUVGEN 9100

#define IDC_UV_OFFSET_U_EDIT 9101
#define IDC_UV_OFFSET_U_SPIN 9102
#define IDC_UV_OFFSET_V_EDIT 9103
#define IDC_UV_OFFSET_V_SPIN 9104
#define IDC_UV_TILING_U_EDIT 9105
#define IDC_UV_TILING_U_SPIN 9106
#define IDC_UV_TILING_V_EDIT 9107
#define IDC_UV_TILING_V_SPIN 9108
#define IDC_UV_ANGLE_EDIT 9109
#define IDC_UV_ANGLE_SPIN 9110
#define IDC_UV_WRAP_U 9111
#define IDC_UV_WRAP_V 9112
#define IDC_UV_MIRROR_U 9113
#define IDC_UV_MIRROR_V 9114

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
