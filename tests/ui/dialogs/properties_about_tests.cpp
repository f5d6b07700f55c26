#include <QEnterEvent>
#include <QMouseEvent>
#include <QTest>

#include "prefs_test_util.h"
#include "profiles/profile.h"
#include "ui/dialogs/about_dlg.h"
#include "ui/dialogs/hyper_link.h"
#include "ui/dialogs/properties_dlg.h"
#include "ui/skin/my_button.h"

namespace {

using P = CProperties;

StreamTable Table(bool video, bool audio, int channels = 2, int frameDuration = 333667) {
    StreamTable t;
    if (video) {
        t.videoCount = 2;
        t.video[0] = {0, 720, 480, 6000000, frameDuration};
        t.video[1] = {1, 352, 240, 1, 1};  // never shown: only the first counts
    }
    if (audio) {
        t.audioCount = 2;
        t.audio[0] = {1, 0x80, 48000, std::int16_t(channels), 448000, 0xBD};
        t.audio[1] = {2, 0x81, 44100, 1, 1, 0xBD};
    }
    return t;
}

class PropertiesTest : public GuiTest {};

TEST_F(PropertiesTest, ShowsTheFirstVideoAndAudioStream) {
    const struct {
        const char* name;
        StreamTable table;
        QString
            fields[6];  // resolution, video bit rate, frame rate, audio bit rate, rate, channels
    } cases[] = {
        {"both, 5.1",
         Table(true, true, 6),
         {"720x480", "6000.00 kbps", "29.970 fps", "448.000 kbps", "48000 Hz", "5.1"}},
        {"stereo, PAL rate",
         Table(true, true, 2, 400000),
         {"720x480", "6000.00 kbps", "25.000 fps", "448.000 kbps", "48000 Hz", "Channels Stereo"}},
        {"mono",
         Table(true, true, 1),
         {"720x480", "6000.00 kbps", "29.970 fps", "448.000 kbps", "48000 Hz", "Channel Mono"}},
        {"four channels",
         Table(true, true, 4),
         {"720x480", "6000.00 kbps", "29.970 fps", "448.000 kbps", "48000 Hz", "4 Channels"}},
        {"no audio", Table(true, false), {"720x480", "6000.00 kbps", "29.970 fps", "", "", ""}},
        {"no video",
         Table(false, true, 2),
         {"", "", "", "448.000 kbps", "48000 Hz", "Channels Stereo"}},
        {"no frame duration",
         Table(true, false, 2, 0),
         {"720x480", "6000.00 kbps", "", "", "", ""}},
    };
    const int ids[6] = {P::IDC_RESOLUTION,    P::IDC_VIDEO_BITRATE, P::IDC_FRAME_RATE,
                        P::IDC_AUDIO_BITRATE, P::IDC_SAMPLE_RATE,   P::IDC_CHANNELS};
    for (const auto& c : cases) {
        P dlg(c.table);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(dlg.FieldText(ids[i]), c.fields[i]) << c.name << " " << ids[i];
    }
}

TEST_F(PropertiesTest, IsSkinnedAndEndsWithOkOrClose) {
    P dlg(Table(true, true, 6));
    EXPECT_EQ(dlg.size(), QSize(580, 430));
    const QImage shot = Shoot(&dlg, "properties");
    // The value is drawn where its field is.
    bool ink = false;
    for (int x = 230; x < 300 && !ink; ++x)
        for (int y = 94; y < 110 && !ink; ++y) ink = qGray(shot.pixel(x, y)) < 120;
    EXPECT_TRUE(ink);
    for (auto [id, result] : {std::pair{int(P::IDC_OK), QDialog::Accepted},
                              std::pair{int(P::IDC_CLOSE), QDialog::Rejected}}) {
        P d(Table(true, true));
        d.show();
        auto* b = FindById<CMyButton>(&d, id);
        ASSERT_TRUE(b);
        b->click();
        EXPECT_FALSE(d.isVisible()) << id;
        EXPECT_EQ(d.result(), result) << id;
    }
}

class HyperLinkTest : public GuiTest {};

TEST_F(HyperLinkTest, TakesItsTextOrAddressFromTheOther) {
    QWidget parent;
    CHyperLink both("Home", "https://example.org/", &parent);
    EXPECT_EQ(both.GetWindowText(), "Home");
    EXPECT_EQ(both.GetURL(), "https://example.org/");
    EXPECT_EQ(both.toolTip(), "https://example.org/");
    CHyperLink noAddress("https://example.org/a", "", &parent);
    EXPECT_EQ(noAddress.GetURL(), "https://example.org/a");
    CHyperLink noText("", "https://example.org/b", &parent);
    EXPECT_EQ(noText.GetWindowText(), "https://example.org/b");
    EXPECT_TRUE(both.font().underline());
    EXPECT_EQ(both.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(HyperLinkTest, ColoursFollowHoverAndVisitsAndAClickOpensTheAddress) {
    QWidget parent;
    parent.resize(400, 100);
    CHyperLink link("Support", "https://example.org/support", &parent);
    link.move(10, 10);
    QStringList opened;
    link.SetOpener([&](const QString& url) {
        opened << url;
        return true;
    });
    parent.show();
    EXPECT_EQ(link.TextColor(), QColor(0, 0, 255));
    QEnterEvent enter(QPointF(2, 2), QPointF(12, 12), QPointF(12, 12));
    QApplication::sendEvent(&link, &enter);
    EXPECT_TRUE(link.IsHovered());
    EXPECT_EQ(link.TextColor(), QColor(255, 0, 0));
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(opened, QStringList({"https://example.org/support"}));
    EXPECT_TRUE(link.IsVisited());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    EXPECT_FALSE(link.IsHovered());
    EXPECT_EQ(link.TextColor(), QColor(85, 26, 139));
    // The text is drawn in the colour of its state.
    const QImage img = link.grab().toImage();
    bool purple = false;
    for (int x = 0; x < img.width() && !purple; ++x)
        for (int y = 0; y < img.height() && !purple; ++y)
            purple = QColor(img.pixel(x, y)) == QColor(85, 26, 139);
    EXPECT_TRUE(purple);
    QTest::mouseClick(&link, Qt::RightButton, {}, QPoint(3, 3));
    EXPECT_EQ(opened.size(), 1) << "only the left button follows the link";
}

TEST_F(HyperLinkTest, FitsItsTextKeepingTheEdgeItIsAlignedTo) {
    QWidget parent;
    const struct {
        Qt::Alignment align;
        int keptEdge;  // 0 left, 1 centre, 2 right
    } cases[] = {{Qt::AlignLeft, 0}, {Qt::AlignHCenter, 1}, {Qt::AlignRight, 2}};
    for (const auto& c : cases) {
        CHyperLink link(&parent);
        link.setGeometry(100, 10, 300, 20);
        link.SetAlignment(c.align);
        link.SetWindowText("short");
        const QRect r = link.geometry();
        EXPECT_LT(r.width(), 300);
        EXPECT_EQ(r.width(), link.fontMetrics().horizontalAdvance("short") + 2);
        const int edges[3] = {r.left(), r.center().x(), r.right()};
        const int expected[3] = {100, 250, 399};
        EXPECT_NEAR(edges[c.keptEdge], expected[c.keptEdge], 1) << c.keptEdge;
    }
}

class AboutTest : public GuiTest {};

TEST_F(AboutTest, LinksLeadToTheHelpPageAndTheHomePage) {
    profiles::LoadAppSettings(DISCREEL_SOURCE_DIR "/data/Set.xml");
    CAboutDlg dlg;
    EXPECT_EQ(dlg.size(), QSize(440, 350));
    ASSERT_TRUE(dlg.SupportLink() && dlg.HomePageLink());
    EXPECT_TRUE(dlg.SupportLink()->GetURL().endsWith("help/index.html"));
    EXPECT_TRUE(dlg.SupportLink()->GetURL().startsWith("file://"));
    EXPECT_EQ(dlg.HomePageLink()->GetWindowText(), "help/index.html");
    EXPECT_EQ(dlg.HomePageLink()->GetURL(), QString::fromStdString(profiles::HomePageTarget()));
    EXPECT_TRUE(dlg.HomePageLink()->isEnabled());
    Shoot(&dlg, "about");
    for (auto [id, result] : {std::pair{int(CAboutDlg::IDC_OK), QDialog::Accepted},
                              std::pair{int(CAboutDlg::IDC_CLOSE), QDialog::Rejected}}) {
        CAboutDlg d;
        d.show();
        FindById<CMyButton>(&d, id)->click();
        EXPECT_FALSE(d.isVisible()) << id;
        EXPECT_EQ(d.result(), result) << id;
    }
}

}  // namespace
