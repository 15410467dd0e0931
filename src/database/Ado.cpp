#include "Ado.h"
