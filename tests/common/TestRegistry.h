#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// Each test class of an area registers itself; the area's one executable runs them all.
using TestFactory = std::function<std::unique_ptr<QObject>()>;

std::vector<TestFactory> &registeredTests();

inline bool registerTest(TestFactory factory)
{
    registeredTests().push_back(std::move(factory));
    return true;
}

#define VARNEX_REGISTER_TEST(Class)                                                                \
    static const bool registered##Class = registerTest([] { return std::make_unique<Class>(); })
