// placeholder
#include "GraphP.h"
