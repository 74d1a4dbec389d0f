// placeholder
#include "ruler.h"
