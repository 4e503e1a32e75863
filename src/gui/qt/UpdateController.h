// SPDX-License-Identifier: MIT
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace orvane::gui {

/// The manual update check: the feed is fetched, and either a newer release
/// is offered (its download page opens in the browser: Linux has no in-app
/// update framework) or the user hears that Orvane is up to date.
class UpdateController final : public QObject {
  public:
    /// What the check ends with, as shown.
    struct Alert {
        QString title;
        QString text;
        /// The release's download page; empty for the up-to-date alert.
        QUrl download;
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

  private:
    void fetch(QWidget* parent, bool quiet);
    void finish(int status, const QByteArray& body, QWidget* parent, bool quiet);
    void showUpToDate(QWidget* parent);

    QNetworkAccessManager network_;
    QUrl feed_;
    QString name_;
    QString version_;
    bool running_ = false;
};

}  // namespace orvane::gui
