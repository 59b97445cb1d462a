#include <QGuiApplication>
#include <QtTest>

#include "app_test_support.h"

// One executable for the application layer's suites: each registers itself and runs in turn.
int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    int failures = 0;
    for (const auto& make : morrowdeck::test::suites()) {
        const auto suite = make();
        failures += QTest::qExec(suite.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
