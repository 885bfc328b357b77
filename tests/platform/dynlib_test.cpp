// Loading shared objects at run time.
#include "platform/dynlib.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(DynamicLibraries, MissingFileGivesNull) {
  EXPECT_EQ(load_library("/no/such/library.so"), nullptr);
  EXPECT_EQ(find_symbol(nullptr, "x"), nullptr);
  unload_library(nullptr);
}

TEST(DynamicLibraries, FindsAnExportedFunctionOfASystemLibrary) {
  void* library = load_library("libm.so.6");
  ASSERT_NE(library, nullptr);
  using Cos = double (*)(double);
  auto cos_function = reinterpret_cast<Cos>(find_symbol(library, "cos"));
  ASSERT_NE(cos_function, nullptr);
  EXPECT_DOUBLE_EQ(cos_function(0.0), 1.0);
  EXPECT_EQ(find_symbol(library, "velmora_no_such_symbol"), nullptr);
  unload_library(library);
}

}  // namespace
