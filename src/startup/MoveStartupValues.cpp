#include "startup/MoveStartupValues.h"
