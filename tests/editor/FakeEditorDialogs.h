#pragma once
// The editor's dialogs answered in place of the user, remembering what was asked.
#include "editor/EditorDialogs.h"

#include <QtTest>

#include <functional>

class FakeDialogs : public tabwright::EditorDialogs {
public:
    QStringList messages;  // the texts shown
    Icon icon = Icon::None;
    QStringList questions;
    bool answerOk = false;
    QStringList retries;
    std::function<bool()> answerRetry = [] { return false; };
    QString openAnswer, saveAnswer, openFilter, saveFilter, saveStart;

    void Message(QWidget*, const QString& title, const QString& text, Icon i) override
    {
        QCOMPARE(title, QStringLiteral("Quorra Data File Editor"));
        messages << text;
        icon = i;
    }
    bool OkCancel(QWidget*, const QString& title, const QString& text) override
    {
        questions << title + "|" + text;
        return answerOk;
    }
    bool RetryCancel(QWidget*, const QString& title, const QString& text) override
    {
        retries << title + "|" + text;
        return answerRetry();
    }
    QString OpenFileName(QWidget*, const QString& filter, const QString&) override
    {
        openFilter = filter;
        return openAnswer;
    }
    QString SaveFileName(QWidget*, const QString& filter, const QString& fileName, const QString&) override
    {
        saveFilter = filter;
        saveStart = fileName;
        return saveAnswer;
    }
};
