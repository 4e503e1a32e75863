// SPDX-License-Identifier: MIT
#include "gui/qt/UpdateController.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>

#include "gui/viewmodel/UpdateCheck.h"

namespace orvane::gui {

UpdateController::UpdateController(QUrl feed, QString name, QString version)
    : feed_(std::move(feed)), name_(std::move(name)), version_(std::move(version)) {
    present = [](const Alert& alert, QWidget* parent) {
        QMessageBox box(alert.warning ? QMessageBox::Warning : QMessageBox::Information,
                        alert.title, alert.title, QMessageBox::NoButton, parent);
        box.setInformativeText(alert.text);
        QPushButton* download = nullptr;
        if (!alert.download.isEmpty()) {
            download = box.addButton(QObject::tr("Download"), QMessageBox::AcceptRole);
            box.addButton(QObject::tr("Later"), QMessageBox::RejectRole);
        } else {
            box.addButton(QObject::tr("OK"), QMessageBox::AcceptRole);
        }
        box.exec();
        if (download && box.clickedButton() == download) QDesktopServices::openUrl(alert.download);
    };
}

void UpdateController::showUpToDate(QWidget* parent) {
    const auto text = UpdateCheck::upToDateText(
        name_.isEmpty() ? std::nullopt : std::optional(name_.toStdString()),
        version_.isEmpty() ? std::nullopt : std::optional(version_.toStdString()));
    present({QString::fromUtf8(UpdateCheck::kUpToDate), QString::fromStdString(text), {}}, parent);
}

void UpdateController::checkForUpdates(QWidget* parent) {
    if (running_) return;
    if (!feed_.isValid() || feed_.isEmpty()) {
        showUpToDate(parent);
        return;
    }
    fetch(parent, false);
}

bool UpdateController::checkAutomatically(const QString& stamp) {
    const QFileInfo last(stamp);
    if (running_ || !feed_.isValid() || feed_.isEmpty()) return false;
    if (last.exists() && last.lastModified().secsTo(QDateTime::currentDateTime()) < 24 * 3600)
        return false;
    QDir().mkpath(last.absolutePath());
    QFile file(stamp);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8() + "\n");
    fetch(nullptr, true);
    return true;
}

void UpdateController::whileRunning(QObject* context, std::function<void(bool)> fn) {
    observers_.emplace_back(context, std::move(fn));
}

void UpdateController::setRunning(bool running) {
    running_ = running;
    std::erase_if(observers_, [](const auto& o) { return o.first.isNull(); });
    for (const auto& [context, fn] : observers_)
        fn(running);
}

void UpdateController::fetch(QWidget* parent, bool quiet) {
    setRunning(true);
    QNetworkRequest request(feed_);
    // A server that never answers must not keep the check running for minutes.
    request.setTransferTimeout(timeoutMs);
    auto* reply = network_.get(request);
    QPointer<QWidget> owner(parent);
    connect(reply, &QNetworkReply::finished, this, [this, reply, owner, quiet] {
        reply->deleteLater();
        setRunning(false);
        const auto error = reply->error();
        QString why;
        if (error == QNetworkReply::OperationCanceledError ||
            error == QNetworkReply::TimeoutError) {
            why = tr("the server did not answer within %1 s").arg(timeoutMs / 1000.0);
        } else if (error != QNetworkReply::NoError &&
                   !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
            why = reply->errorString();
        }
        finish(why, reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
               reply->readAll(), owner, quiet);
    });
}

void UpdateController::finish(const QString& error, int status, const QByteArray& body,
                              QWidget* parent, bool quiet) {
    const auto outcome = UpdateCheck::decide(error.toStdString(), status, body.toStdString(),
                                             version_.toStdString());
    using Kind = UpdateCheck::Outcome::Kind;
    if (outcome.kind == Kind::upToDate) {
        if (!quiet) showUpToDate(parent);
        return;
    }
    if (outcome.kind == Kind::failed) {
        // Never "up to date" for a check that did not happen; the automatic
        // one stays silent and tries again another day.
        if (!quiet)
            present({QString::fromUtf8(UpdateCheck::kCheckFailed),
                     tr("The check failed: %1.").arg(QString::fromStdString(outcome.reason)),
                     {},
                     true},
                    parent);
        return;
    }
    const QString version = QString::fromStdString(outcome.release->version);
    QUrl page(QString::fromStdString(outcome.release->link));
    if (!page.isValid() || page.isEmpty()) page = feed_.resolved(QUrl(QStringLiteral("/")));
    present({tr("A new version of Orvane is available"),
             tr("Orvane %1 is out (you have %2). Open its download page?").arg(version, version_),
             page},
            parent);
}

}  // namespace orvane::gui
