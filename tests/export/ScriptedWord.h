#pragma once

// A document engine whose every operation can be made to fail, recording what
// it was asked to do. The real engine cannot be told to fail at a chosen step.

#include "export/document/WordAutomation.h"
#include "shell/Failure.h"

#include <QStringList>
#include <memory>
#include <string>

namespace qm::test {

struct ScriptedWordLog {
    QStringList calls;      // "Create", "Visible", "Add", "TypeText", "SaveAs <path>", "Close", "Quit"
    QString failAt;         // the call that throws (matched against the call's first word)
    std::string typedText;  // what TypeText received
};

class ScriptedWordDocument : public WordDocument {
  public:
    explicit ScriptedWordDocument(ScriptedWordLog& log) : log_(log) {}
    void TypeText(const TextSpool& text) override {
        call(QStringLiteral("TypeText"));
        log_.typedText = text.toString();
    }
    void SaveAs(const QString& path) override { call(QStringLiteral("SaveAs"), path); }
    void Close() override { call(QStringLiteral("Close")); }

  private:
    void call(const QString& name, const QString& argument = QString()) {
        log_.calls << (argument.isEmpty() ? name : name + QLatin1Char(' ') + argument);
        if (log_.failAt == name)
            throw Failure(name + QStringLiteral(" failed"));
    }
    ScriptedWordLog& log_;
};

class ScriptedWordApplication : public WordApplication {
  public:
    explicit ScriptedWordApplication(ScriptedWordLog& log) : log_(log) {}
    void setVisible(bool) override { call(QStringLiteral("Visible")); }
    std::unique_ptr<WordDocument> AddDocument() override {
        call(QStringLiteral("Add"));
        return std::make_unique<ScriptedWordDocument>(log_);
    }
    void Quit() override { call(QStringLiteral("Quit")); }

  private:
    void call(const QString& name) {
        log_.calls << name;
        if (log_.failAt == name)
            throw Failure(name + QStringLiteral(" failed"));
    }
    ScriptedWordLog& log_;
};

class ScriptedWordProvider : public WordProvider {
  public:
    std::unique_ptr<WordApplication> CreateApplication() override {
        log.calls << QStringLiteral("Create");
        if (log.failAt == QStringLiteral("Create"))
            throw Failure(QStringLiteral("The document engine could not be started"));
        return std::make_unique<ScriptedWordApplication>(log);
    }
    ScriptedWordLog log;
};

}  // namespace qm::test
