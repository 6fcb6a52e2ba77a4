#include "platform/fake/FakePause.h"
