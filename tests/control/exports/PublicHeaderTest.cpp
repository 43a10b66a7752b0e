#include <gtest/gtest.h>

#include <cstddef>

#include "QMXControl.h"

extern "C" unsigned int qmxPublicHeaderFromC(void);

static_assert(sizeof(VX_packet) == 24);
static_assert(offsetof(VX_packet, data4) == 20);

TEST(PublicHeader, UsableFromC99) { EXPECT_EQ(qmxPublicHeaderFromC(), 0x03000017u); }
