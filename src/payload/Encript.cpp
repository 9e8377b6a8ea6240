#include "Encript.h"
