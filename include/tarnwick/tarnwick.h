// The whole Tarnwick interface.
#pragma once

#include "tarnwick/host.h"
#include "tarnwick/tw_functions.h"
#include "tarnwick/tw_registry.h"
#include "tarnwick/tw_shell.h"
#include "tarnwick/types.h"
