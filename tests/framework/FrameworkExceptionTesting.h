// Checks that an action raises a framework exception (a CException* to a heap or static object)
// of the expected class, lets the test look at it, and releases it.
#pragma once

#include "CException.h"

#include <gtest/gtest.h>

template <class Expected, class Action, class Inspect>
testing::AssertionResult Raises(Action&& action, Inspect&& inspect)
{
    try {
        action();
    } catch (CException* raised) {
        Expected* typed = dynamic_cast<Expected*>(raised);
        if (typed)
            inspect(*typed);
        raised->Delete();
        if (!typed)
            return testing::AssertionFailure() << "raised a CException of another class";
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "raised nothing";
}

template <class Expected, class Action>
testing::AssertionResult Raises(Action&& action)
{
    return Raises<Expected>(static_cast<Action&&>(action), [](Expected&) {});
}
