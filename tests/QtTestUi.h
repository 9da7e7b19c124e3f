#pragma once
// The one Qt application of a test program: the real Qt user-interface services on Qt's
// offscreen platform (no display needed), made at first use and kept for the whole run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "platform/qt/QtUi.h"

namespace talvex::testing {

inline std::unique_ptr<platform::IUiServices>& QtTestServices() {
    static std::unique_ptr<platform::IUiServices> ui;
    return ui;
}

/// The services, with the application object made on the first call.
inline platform::IUiServices& QtTestUi() {
    std::unique_ptr<platform::IUiServices>& ui = QtTestServices();
    if (!ui) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "talvex_qt_test";
        static char* argv[] = {name, nullptr};
        ui = platform::CreateQtUiServices(argc, argv);
    }
    return *ui;
}

// The application object must go before the program's static objects do.
class QtTestEnvironment : public ::testing::Environment {
  public:
    void TearDown() override { QtTestServices().reset(); }
};
inline const ::testing::Environment* const kQtTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtTestEnvironment);

}  // namespace talvex::testing
