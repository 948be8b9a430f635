#include "platform/win32/Handles.h"
