#pragma once
// Shared by the preference and dialog tests: the application object, a private
// configuration folder and home for each test, the real skin, and recorded
// message boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "ui/skin/skin_control.h"

QApplication& TestApp();

// Every test gets an empty configuration folder and home, and runs in the data
// folder of the source tree so that the dialogs find their skin.
class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path RegistryFile() const;
    std::string ReadRegistry() const;

    std::filesystem::path root, home, config;
    std::vector<std::string> messages;  // MessageBox texts, in order
};

// The child of `parent` with that control id, or null.
template <class T>
T* FindById(QWidget* parent, int id) {
    for (T* w : parent->findChildren<T*>())
        if (GetDlgCtrlID(w) == id) return w;
    return nullptr;
}

// The dialog as it is shown, corners cut as on the desktop, saved for review as
// <build>/ui-shots/<name>.png.
QImage Shoot(QWidget* w, const std::string& name);
