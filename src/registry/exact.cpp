#include "registry/exact.h"
