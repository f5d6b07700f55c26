// The main window's transport controls over its preview player: play, pause,
// stop, previous and next title, the seek slider, the position timer, the
// graph's notices and snapshots.
#include <QComboBox>
#include <QLabel>
#include <ctime>
#include <filesystem>

#include "dvd/catalogue.h"
#include "pipelines/stream_table.h"
#include "platform/framework/interfaces.h"
#include "ui/prefs/preferences.h"
#include "ui/skin/my_button.h"
#include "ui/skin/my_slider_ctrl.h"
#include "zo_rezive_dlg.h"

using namespace main_ids;
namespace fs = std::filesystem;

void CZoReziveDlg::OnPlay() {
    if (!player_.Graph()) return;  // no DVD loaded
    if (!player_.IsPaused()) {
        int number = 1;  // no title chosen: the first title
        if (HTREEITEM item = list_->GetSelectedItem()) {
            const auto index = ParseEntryName(list_->GetItemText(item, 0).toStdString());
            if (index) number = index->Title + 1;
        }
        // Pins are reconnected only in a stopped graph; a running one would
        // keep its clock and play the new title from where the old one was.
        player_.Stop();
        if (!player_.SelectTitle(number - 1, -1)) {
            OnStopPreview();  // the buttons and the picture say what the player is
            return;
        }
        player_.SetPosition(0);
        StreamTable streams;
        if (player_.ListStreams(streams)) {
            if (audioCombo_->currentIndex() >= 0) {
                const int id = audioCombo_->currentData().toInt();
                for (int i = streams.audioCount - 1; i >= 0; --i) {
                    const auto& s = streams.audio[i];
                    if (MatchesTrack(s.pesStreamId, s.subStreamId, id))
                        player_.EnableStream(s.index, true);
                }
            }
            if (subtitleCombo_->currentIndex() >= 0) {
                const int id = subtitleCombo_->currentData().toInt();
                for (int i = streams.subtitleCount - 1; i >= 0; --i) {
                    const auto& s = streams.subtitle[i];
                    if (MatchesTrack(s.pesStreamId, s.subStreamId, id))
                        player_.EnableStream(s.index, true);
                }
            }
        }
    }
    player_.Run();
    if (!timerRunning_) timerRunning_ = Window()->SetTimer(kPositionTimer, kPositionTimerMs);
    Button(kPlay)->hide();
    Button(kPause)->show();
    videoPicture_->hide();
}

void CZoReziveDlg::OnPause() {
    player_.Pause();
    Button(kPlay)->show();
    Button(kPause)->hide();
}

void CZoReziveDlg::OnStopPreview() {
    player_.Stop();
    Window()->KillTimer(kPositionTimer);
    timerRunning_ = false;
    Button(kPlay)->show();
    Button(kPause)->hide();
    videoPicture_->show();
    seek_->SetPos(0);
    player_.SetPosition(0);
    update(videoPicture_->geometry());
}

void CZoReziveDlg::OnPreviousNext(bool next) {
    HTREEITEM item = SelectedOrFirst();
    if (!item) return;
    HTREEITEM sibling = next ? list_->GetNextSiblingItem(item) : list_->GetPrevSiblingItem(item);
    if (!sibling) return;
    list_->SelectItem(sibling);
    player_.Stop();
    OnPlay();
}

void CZoReziveDlg::OnSeekReleased() {
    double duration = 0;
    if (!player_.GetDuration(duration)) duration = 1;
    player_.SetPosition(seek_->GetThumbPos() * duration / 1000.0);
}

void CZoReziveDlg::OnPositionTimer() {
    double current = 0, duration = 0;
    player_.GetCurrentPosition(current);
    if (!player_.GetDuration(duration) || duration <= 0) duration = 1;
    const int value = static_cast<int>(current * 1000.0 / duration);
    if (value != seek_->GetThumbPos()) seek_->SetPos(value);
}

void CZoReziveDlg::OnGraphNotify() {
    if (!player_.Graph() || !player_.Events()) return;
    long code = 0;
    bool complete = false;
    while (player_.NextEvent(code))
        if (code == EC_COMPLETE) complete = true;
    // Video and sound each report their end; the first notice already stops,
    // and stopping twice would only rewind twice.
    if (complete) OnStopPreview();
}

std::string CZoReziveDlg::OnSnapshot() {
    if (!player_.WindowlessControl()) return {};
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
    const std::string folder = ThePreferences().strSnapFolder;
    const std::string ext = "." + ThePreferences().strImageType;
    std::string path = folder + "/" + stamp + ext;
    // Two snapshots within one second would share a name; the later one gets a
    // number instead of overwriting the earlier.
    std::error_code ec;
    for (int n = 2; fs::exists(path, ec) && n < 1000; ++n)
        path = folder + "/" + stamp + " (" + std::to_string(n) + ")" + ext;
    if (!player_.SaveSnapshot(path)) return {};
    return path;
}
