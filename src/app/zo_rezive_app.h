#pragma once
// The application: shows the start-up picture for a moment, then runs the main
// window; when the main window closes the program ends.
#include <string>

class CZoReziveApp {
  public:
    // How long the start-up picture stays, with or without a picture.
    static constexpr int kSplashMs = 1500;

    // A DVD to load once the main window is up ("" for none).
    explicit CZoReziveApp(std::string dvdPath = {}) : dvdPath_(std::move(dvdPath)) {}

    // Runs the whole session; returns the process's exit code.
    int InitInstance();

    // The splash alone: shown (when its picture loads) for kSplashMs, then
    // closed. Whether a picture was shown.
    static bool ShowSplash(const std::string& picturePath, int milliseconds = kSplashMs);

  private:
    std::string dvdPath_;
};
