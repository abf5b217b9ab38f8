#pragma once
// The start-up shared by the benchmarks that run the program inside their own process:
// the environment and application object set up as the program sets itself up, and a
// sandbox of temporary folders for its settings, data, state and "executable folder".

#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class EngineEnvironment;

struct BenchPreludeOptions {
    bool engine = true;              // WebEngine runs in this process
    bool forceOffscreen = false;     // offscreen even when QT_QPA_PLATFORM names another platform
    bool keepChromiumFlags = false;  // Chromium flags already in the environment are kept
    bool quietWarnings = true;       // Qt's warnings stay out of the output
};

// Headless unless told otherwise; with the engine, its environment is set before the
// application object exists and settled after.
class BenchApplication {
public:
    BenchApplication(int &argc, char **argv, const BenchPreludeOptions &options = {});
    ~BenchApplication();
    QApplication &application() { return *application_; }

private:
    std::unique_ptr<EngineEnvironment> engine_;
    std::unique_ptr<QApplication> application_;
};

// <root>/config (settings in config/Quilldown/), <root>/data, <root>/state, <root>/bin as
// the executable's folder and <root>/docs for documents. The executable folder is given
// back when the sandbox ends.
class BenchSandbox {
public:
    BenchSandbox();
    ~BenchSandbox();
    QString root() const { return dir_.path() + u'/'; }
    QString docs() const { return root() + QStringLiteral("docs/"); }
    QString settingsFile() const;

private:
    QTemporaryDir dir_;
};
