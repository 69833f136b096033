// The wizard's tests run offscreen in one QApplication, made before any test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
  // Discovery runs this program without the test's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("KORVANE_PICTURES")) qputenv("KORVANE_PICTURES", KORV_PICTURE_DIR);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  // The folders the file dialogs remember go to a settings file of the run's
  // own, never the user's.
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  return RUN_ALL_TESTS();
}
