#include "registry/mGeneral.h"
