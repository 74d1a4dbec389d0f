// placeholder
#include "gfxdlg.h"
