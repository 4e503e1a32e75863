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
        QMessageBox box(QMessageBox::Information, alert.title, alert.title, QMessageBox::NoButton,
                        parent);
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

void UpdateController::fetch(QWidget* parent, bool quiet) {
    running_ = true;
    auto* reply = network_.get(QNetworkRequest(feed_));
    QPointer<QWidget> owner(parent);
    connect(reply, &QNetworkReply::finished, this, [this, reply, owner, quiet] {
        reply->deleteLater();
        running_ = false;
        // A network error counts as a feed without items.
        const int status = reply->error() == QNetworkReply::NoError
                               ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()
                               : 0;
        finish(status, reply->readAll(), owner, quiet);
    });
}

void UpdateController::finish(int status, const QByteArray& body, QWidget* parent, bool quiet) {
    const std::string text = body.toStdString();
    if (!UpdateCheck::feedHasItems(status, text)) {
        if (!quiet) showUpToDate(parent);
        return;
    }
    const auto release = UpdateCheck::newestRelease(text);
    const QString version = release ? QString::fromStdString(release->version) : QString();
    QUrl page = release ? QUrl(QString::fromStdString(release->link)) : QUrl();
    if (!page.isValid() || page.isEmpty()) page = feed_.resolved(QUrl(QStringLiteral("/")));
    present({QObject::tr("A new version of Orvane is available"),
             version.isEmpty() ? QObject::tr("A newer Orvane is out. Open its download page?")
                               : QObject::tr("Orvane %1 is out (you have %2). Open its download "
                                             "page?")
                                     .arg(version, version_),
             page},
            parent);
}

}  // namespace orvane::gui
