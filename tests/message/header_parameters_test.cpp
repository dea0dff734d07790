#include "message/header_parameters.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fixtures/row_name.h"

namespace quor {

namespace {

const std::string kMaerz = "Rechnung M\xC3\xA4rz.pdf";  // "Rechnung März.pdf"

struct ParameterCase {
  const char* written;
  std::string field;
  std::string name;
  std::optional<std::string> value;
};

class ParameterValueTest : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(ParameterValueTest, ReadsTheFormsMailProgramsWrite) {
  EXPECT_EQ(ParameterValue(GetParam().field, GetParam().name), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ParameterValueTest,
    ::testing::Values(
        ParameterCase{"plain", "text/plain; charset=iso-8859-1", "charset", "iso-8859-1"},
        ParameterCase{"quoted", "text/plain; charset=\"UTF-8\"; format=flowed", "charset", "UTF-8"},
        ParameterCase{"name case ignored", "text/plain; CharSet=utf-8", "charset", "utf-8"},
        ParameterCase{"absent", "text/plain", "charset", std::nullopt},
        ParameterCase{"not inside another name", "attachment; filename=\"a.pdf\"", "name",
                      std::nullopt},
        ParameterCase{"quoted semicolon and escapes", "x; name=\"a;b \\\"c\\\".txt\"", "name",
                      "a;b \"c\".txt"},
        ParameterCase{"folded lines", "attachment;\n\tfilename=\"report.pdf\";\n size=42",
                      "filename", "report.pdf"},
        ParameterCase{"extended value", "attachment; filename*=UTF-8''Rechnung%20M%C3%A4rz.pdf",
                      "filename", kMaerz},
        ParameterCase{"extended latin1 with language",
                      "attachment; filename*=iso-8859-1'de'Rechnung%20M%E4rz.pdf", "filename",
                      kMaerz},
        ParameterCase{"continuations",
                      "attachment;\n filename*0*=UTF-8''Rechnung%20M%C3%A4;\n filename*1*=rz;\n"
                      " filename*2=\".pdf\"",
                      "filename", kMaerz},
        ParameterCase{"continuations out of order",
                      "attachment; filename*1*=rz.pdf; filename*0*=UTF-8''Rechnung%20M%C3%A4",
                      "filename", kMaerz},
        ParameterCase{"continuations stop at a gap", "attachment; filename*0=abc; filename*2=ghi",
                      "filename", "abc"},
        ParameterCase{"extended wins over plain",
                      "attachment; filename=\"Rechnung Maerz.pdf\"; "
                      "filename*=UTF-8''Rechnung%20M%C3%A4rz.pdf",
                      "filename", kMaerz},
        ParameterCase{"encoded words in a plain value",
                      "application/pdf; name=\"=?UTF-8?B?UmVjaG51bmcgTcOkcnoucGRm?=\"", "name",
                      kMaerz},
        ParameterCase{"unknown charset stays as written",
                      "attachment; filename*=x-unknown''Rechnung%20M%E4rz.pdf", "filename",
                      "Rechnung%20M%E4rz.pdf"},
        ParameterCase{"bad escape stays", "attachment; filename*=UTF-8''100%25%zz.txt", "filename",
                      "100%%zz.txt"},
        ParameterCase{"quote never closed", "attachment; filename=\"open.txt", "filename",
                      "open.txt"},
        ParameterCase{"empty value", "attachment; filename=", "filename", ""}),
    NameRowsBy(&ParameterCase::written));

}  // namespace

}  // namespace quor
