#include "JumpToTrackDialog.h"

#include "TrackMatchModel.h"
#include "playlist/PlayList.h"
#include "ui_JumpToTrackDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>

#include <memory>
#include <mutex>

namespace zalvo {

JumpToTrackDialog::JumpToTrackDialog(PlayList& playList, TrackSearch& search, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::JumpToTrackDialog>()), playList(playList), search(search),
      model(new TrackMatchModel(playList, this)) {
    m_ui->setupUi(this);
    field = m_ui->field;
    matchList = m_ui->matchList;
    matchList->setModel(model);
    field->installEventFilter(this);

    connect(field, &QLineEdit::textChanged, this, &JumpToTrackDialog::find);
    connect(field, &QLineEdit::returnPressed, this, &JumpToTrackDialog::playChosen);
    connect(matchList, &QListView::activated, this, &JumpToTrackDialog::playChosen);
    connect(model, &TrackMatchModel::stale, this, &JumpToTrackDialog::find, Qt::QueuedConnection);
    find();
}

JumpToTrackDialog::~JumpToTrackDialog() {
    // No answer may reach the dialog once it is gone.
    search.forget();
}

bool JumpToTrackDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QApplication::sendEvent(matchList, event);
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void JumpToTrackDialog::find() {
    latestQuery = search.find(field->text().toStdString(), [this](TrackSearch::Matches matches) {
        // Called on the search's thread; the dialog, which forgets its searches as it goes, hears it on
        // its own.
        auto found = std::make_shared<TrackSearch::Matches>(std::move(matches));
        QMetaObject::invokeMethod(
            this, [this, found] { show(std::move(*found)); }, Qt::QueuedConnection);
    });
}

void JumpToTrackDialog::show(TrackSearch::Matches matches) {
    if (matches.query != latestQuery) {
        return;
    }
    const int chosen = matches.complete ? std::max(matchList->currentIndex().row(), 0) : 0;
    model->setMatches(std::move(matches));
    if (model->rowCount() > 0) {
        matchList->setCurrentIndex(model->index(std::min(chosen, model->rowCount() - 1)));
    }
}

void JumpToTrackDialog::playChosen() {
    {
        const std::scoped_lock lock(playList.mutex);
        const std::optional<std::size_t> row = model->playListRow(std::max(matchList->currentIndex().row(), 0));
        if (!row) {
            return;
        }
        PlayList::Position position = playList.getList()->at(*row);
        playList.playAt(position);
    }
    emit played();
    accept();
}

} // namespace zalvo
