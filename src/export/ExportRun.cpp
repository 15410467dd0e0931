#include "ExportRun.h"
