// SPDX-License-Identifier: MIT
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <utility>
#include <vector>

class QWidget;

namespace orvane::gui {

/// The update check: the feed is fetched, and a release newer than the
/// running version is offered (its download page opens in the browser: Linux
/// has no in-app update framework); otherwise the user hears that Orvane is
/// up to date, or that the check failed and why.
class UpdateController final : public QObject {
  public:
    /// What the check ends with, as shown.
    struct Alert {
        QString title;
        QString text;
        /// The release's download page; empty for the up-to-date alert.
        QUrl download;
        /// A check that failed.
        bool warning = false;
    };

    UpdateController(QUrl feed, QString name, QString version);

    void checkForUpdates(QWidget* parent);
    /// The automatic check: at most once a day (stamp is the file that
    /// remembers the last one), and silent unless there is something new.
    /// False when it was not yet due.
    bool checkAutomatically(const QString& stamp);
    /// Shows an alert; tests answer it themselves.
    std::function<void(const Alert&, QWidget* parent)> present;
    /// Whether a check may start now (none running).
    bool canCheckForUpdates() const { return !running_; }
    /// Calls fn with whether a check runs, whenever that changes, for as long
    /// as context lives.
    void whileRunning(QObject* context, std::function<void(bool running)> fn);
    /// How long a fetch may take before it counts as failed.
    int timeoutMs = 15000;

  private:
    void fetch(QWidget* parent, bool quiet);
    void finish(const QString& error, int status, const QByteArray& body, QWidget* parent,
                bool quiet);
    void showUpToDate(QWidget* parent);
    void setRunning(bool running);

    QNetworkAccessManager network_;
    QUrl feed_;
    QString name_;
    QString version_;
    bool running_ = false;
    std::vector<std::pair<QPointer<QObject>, std::function<void(bool)>>> observers_;
};

}  // namespace orvane::gui
