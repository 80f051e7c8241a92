#include "resources/menu.h"
