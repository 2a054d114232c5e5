#include "base/run_time_error.h"

#include <gtest/gtest.h>

namespace vellmor {
namespace {

TEST(RunTimeErrorMessage, NamesTheCodeAndEveryRaisedCodeHasItsText) {
  EXPECT_EQ(RunTimeErrorMessage(RunTimeError::kOverflow), u"运行时错误 '6'：\n\n溢出");
  EXPECT_EQ(RunTimeErrorMessage(RunTimeError::kSubscriptOutOfRange),
            u"运行时错误 '9'：\n\n下标越界");
  EXPECT_EQ(RunTimeErrorMessage(RunTimeError::kErrorInLoadingDll),
            u"运行时错误 '48'：\n\n加载 DLL 错误");
  EXPECT_EQ(RunTimeErrorMessage(RunTimeError::kDllFunctionNotFound),
            u"运行时错误 '453'：\n\n找不到指定的 DLL 函数");
  EXPECT_EQ(RunTimeErrorMessage(RunTimeError::kInvalidProcedureCall),
            u"运行时错误 '5'：\n\n无效的过程调用或参数");
  EXPECT_EQ(RunTimeErrorMessage(3), u"运行时错误 '3'");
  EXPECT_EQ(RunTimeErrorMessage(-1), u"运行时错误 '-1'");
}

}  // namespace
}  // namespace vellmor
