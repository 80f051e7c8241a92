#include "scielab/filter_kernels.h"
