// Resource IDs of the Weft panel.
#pragma once

#define IDD_WEFT 2000
#define IDC_SWAP 2001
#define IDC_WARP_SWATCH 2002
#define IDC_WEFT_SWATCH 2003
#define IDC_WARP_MAP 2004
#define IDC_WEFT_MAP 2005
#define IDC_THREADS_EDIT 2006
#define IDC_THREADS_SPIN 2007
#define IDC_WIDTH_EDIT 2008
#define IDC_WIDTH_SPIN 2009
#define IDC_GAP_EDIT 2010
#define IDC_GAP_SPIN 2011
#define IDC_LINEN 2012
#define IDC_BASKET 2013
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
