#include "resources/dialog_templates.h"
