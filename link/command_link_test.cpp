#include "link/command_link.h"

#include <gtest/gtest.h>
