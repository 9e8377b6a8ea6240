#include "ShortUtl.h"
