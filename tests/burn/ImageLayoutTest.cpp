#include "burn/Image.h"
#include <gtest/gtest.h>
TEST(ImageLayout, Placeholder) { SUCCEED(); }
