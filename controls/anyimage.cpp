// placeholder
#include "anyimage.h"
