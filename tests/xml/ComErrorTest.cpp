#include <xml/ComError.h>

#include <gtest/gtest.h>

using xml::ComError;
using xml::HRESULT;

TEST(ComError, SystemMessageRule) {
    struct Case {
        std::uint32_t code;
        const char* text;
    };
    for (const Case& c : {
             Case{0x80004003u, "Invalid pointer"},
             Case{0x80020005u, "Type mismatch."}, // an absent attribute
             Case{0x80040201u, "IDispatch error #1"},
             Case{0x8004FFFFu, "IDispatch error #65023"},
             Case{0x80040200u, "Unknown error 0x80040200"}, // the number would be 0
             Case{0x800401FFu, "Unknown error 0x800401FF"},
             Case{0x80050000u, "Unknown error 0x80050000"},
             Case{0x1u, "Unknown error 0x1"},
         }) {
        EXPECT_EQ(xml::SystemMessage(static_cast<HRESULT>(c.code)), c.text);
    }
}

TEST(ComError, PlannerReport) {
    EXPECT_EQ(xml::FormatComErrorMessage(ComError(xml::hr::E_POINTER_)),
              "COM Error:\r\nMessage: Invalid pointer\r\nDescription: ");
    EXPECT_EQ(xml::FormatComErrorMessage(ComError(xml::hr::E_FAIL_, "src", "what happened")),
              "COM Error:\r\nSource: src\r\nError description: what happened");
}

TEST(ComError, ComponentReport) {
    // Negative codes print signed; the message is the system text, not the description.
    EXPECT_EQ(xml::FormatComErrorReport(ComError(xml::hr::E_FAIL_, "src", "what happened")),
              "COM Error: -2147467259\r\nSource: src\r\nError message: Unspecified error");
}
