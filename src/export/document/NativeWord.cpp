#include "NativeWord.h"
