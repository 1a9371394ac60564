#include "Counted.h"
