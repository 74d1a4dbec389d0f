// placeholder
#include "dirtree.h"
