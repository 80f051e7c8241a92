#include "shell/degradations.h"
