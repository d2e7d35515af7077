// The directory search's name patterns, shared by every host.
#pragma once

#include "host/common/wildcard.h"
