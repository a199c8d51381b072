#pragma once
#include "exception.h"
#include <gtest/gtest.h>
#include <string>

// The only stack line of the mrvException that call throws; its code must be code.
template <class Call> std::string Thrown(Call call, long code = mrvAPI::mrvE_FAIL)
{
    try {
        call();
    } catch (const mrvAPI::mrvException& e) {
        EXPECT_EQ(e.GetCode(), code);
        return e.GetStack().size() == 1 ? e.GetStack()[0] : "stack of " + std::to_string(e.GetStack().size());
    }
    return "no exception";
}
