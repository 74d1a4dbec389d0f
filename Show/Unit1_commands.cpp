// TForm1: the commands of the menus, toolbars and keys.
#include "Unit1.h"
