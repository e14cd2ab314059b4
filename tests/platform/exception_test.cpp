#include <gtest/gtest.h>

#include "platform/core/exception.h"
#include "platform/core/strings.h"

TEST(Exception, MessageIsKeptInBothEncodings) {
  Exception e(u"Ошибка: файл");
  EXPECT_EQ(e.Message(), u"Ошибка: файл");
  EXPECT_STREQ(e.what(), "Ошибка: файл");
}

TEST(Assertion, NamesFileAndLine) {
  try {
    TAMRIX_ASSERT(1 == 2, "Broken invariant");
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    std::string text = e.what();
    EXPECT_NE(text.find("Broken invariant"), std::string::npos);
    EXPECT_NE(text.find("exception_test.cpp"), std::string::npos);
  }
}
