#pragma once
// The whole date and time library: dates, packed values, time points and duration texts.

#include "libs/datetime/date.hpp"
#include "libs/datetime/durationformat.hpp"
#include "libs/datetime/exceptions.hpp"
#include "libs/datetime/packed.hpp"
#include "libs/datetime/timepoint.hpp"
