// What the Qt adapters' tests share: a main that prepares a headless Qt (offscreen platform, the
// web engine without its sandbox, runtime and cache folders of its own in a temporary folder,
// removed at the end), and the error number a call raises.
#ifndef NIMBO_TESTS_QT_QT_TEST_SUPPORT_H_
#define NIMBO_TESTS_QT_QT_TEST_SUPPORT_H_

#include <stdlib.h>
#include <sys/stat.h>

#include <QApplication>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <string>

#include "nimbo/error.h"

namespace nimbo::qt_testing {

// The error number a call raises, or 0 when it raises none.
inline int ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

// A temporary home for Qt and the web engine: XDG runtime, cache, config and data folders.
class QtHome {
 public:
  QtHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nimbo-qt-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    root_ = pattern;
    for (const char* name : {"runtime", "cache", "config", "data"}) {
      std::filesystem::create_directory(root_ / name);
    }
    chmod((root_ / "runtime").c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", (root_ / "runtime").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  }
  ~QtHome() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  QtHome(const QtHome&) = delete;
  QtHome& operator=(const QtHome&) = delete;
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

}  // namespace nimbo::qt_testing

// The test program's main: the temporary home first, then the application, then the tests.
#define NIMBO_QT_TEST_MAIN(TestClass)          \
  int main(int argc, char** argv) {            \
    ::nimbo::qt_testing::QtHome home;          \
    int status = 0;                            \
    {                                          \
      QApplication app(argc, argv);            \
      app.setAttribute(Qt::AA_Use96Dpi, true); \
      TestClass tc;                            \
      QTEST_SET_MAIN_SOURCE_PATH               \
      status = QTest::qExec(&tc, argc, argv);  \
    }                                          \
    return status;                             \
  }

#endif  // NIMBO_TESTS_QT_QT_TEST_SUPPORT_H_
