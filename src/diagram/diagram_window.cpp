#include "diagram/diagram_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QVBoxLayout>
#include <array>
#include <cmath>

// The artwork lives in a static library: register its resources explicitly.
static void initDiagramResources() {
    Q_INIT_RESOURCE(diagram);
}

#include "editors/editor_tables.h"

namespace kestrel {

namespace {

constexpr int kTwipsPerPixel = 15;

int toPixels(int twips) {
    return static_cast<int>(std::floor(twips / static_cast<double>(kTwipsPerPixel)));
}

// The diagram picture's design place and size in twips.
constexpr int kDiagramLeft = 0, kDiagramTop = -960, kDiagramWidth = 9360, kDiagramHeight = 14445;
// The viewport's.
constexpr int kFrameLeft = 240, kFrameTop = 120, kFrameWidth = 8775, kFrameHeight = 10215;

// A function block: where its picture lies (twips, in the viewport) and what
// a click opens: an editor window, or a message naming a block without one.
struct Hotspot {
    const char* name;
    int left, top, width, height;
    const char* editor;   // window name, or nullptr
    const char* message;  // block name for the message, or nullptr
};

constexpr std::array<Hotspot, 12> kHotspots = {{
    {"pic_acsns", 1200, 1560, 2400, 2070, "frm_acsns", nullptr},
    {"pic_vrev", 5280, 1920, 2400, 1275, "frm_rev", nullptr},
    {"pic_idiff", 1200, 3720, 2400, 2400, "frm_idiff", nullptr},
    {"pic_shroff", 3720, 3840, 1770, 1050, "frm_shroff", nullptr},
    {"pic_shrok", 5520, 3960, 1500, 900, "frm_ilim", nullptr},
    {"pic_capture", 5520, 4920, 1635, 900, nullptr, "Capture Current"},
    {"pic_ilim", 3960, 5040, 1275, 1275, "frm_ilim", nullptr},
    {"pic_softstart", 6120, 6000, 1635, 900, "frm_sstart", nullptr},
    {"pic_vdiff", 1200, 6120, 2400, 1650, "frm_vdiff", nullptr},
    {"pic_genlog", 5160, 7200, 1650, 3990, nullptr, "General Logic"},
    {"pic_otp", 6840, 7320, 1635, 900, nullptr, "OTP"},
    {"pic_vls", 1320, 7800, 1725, 1650, "frm_local", nullptr},
}};

const Hotspot* findHotspot(const QString& name) {
    for (const Hotspot& h : kHotspots)
        if (name == QLatin1String(h.name)) return &h;
    return nullptr;
}

}  // namespace

DiagramPicture::DiagramPicture(const QString& name, const QPixmap& image, int left, int top,
                               bool hotspot, QWidget* parent)
    : QWidget(parent),
      image_(image),
      homeLeft_(left),
      homeTop_(top),
      left_(left),
      top_(top),
      hotspot_(hotspot) {
    setObjectName(name);
    resize(image.deviceIndependentSize().toSize());
    moveTo(left, top);
}

void DiagramPicture::moveTo(int left, int top) {
    left_ = left;
    top_ = top;
    move(toPixels(left), toPixels(top));
}

void DiagramPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, image_);
    if (hotspot_ && hover_) {
        // Show what can be clicked: a tint and a frame over the block.
        p.fillRect(rect(), QColor(255, 190, 40, 60));
        p.setPen(QPen(QColor(230, 140, 0), 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void DiagramPicture::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void DiagramPicture::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void DiagramPicture::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

QPixmap DiagramWindow::artwork(qreal pixelRatio) {
    QImage image(qRound(toPixels(kDiagramWidth) * pixelRatio),
                 qRound(toPixels(kDiagramHeight) * pixelRatio),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::white);
    initDiagramResources();
    QSvgRenderer renderer(QStringLiteral(":/diagram/kestrel_diagram.svg"));
    QPainter painter(&image);
    renderer.render(&painter);
    return QPixmap::fromImage(image);
}

DiagramWindow::DiagramWindow(Globals& globals, Dialogs& dialogs,
                             std::function<void(const QString&, bool)> open)
    : g_(globals), dialogs_(dialogs), open_(std::move(open)) {
    setObjectName(QStringLiteral("frm_Config"));
    setWindowTitle(QStringLiteral("KESTREL Configuration Registers"));
    setWindowFlag(Qt::Window);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* menu = new QMenuBar(this);
    QAction* about = menu->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("mnuAbout"));
    connect(about, &QAction::triggered, this, [this] { open_(QStringLiteral("frmAbout"), true); });
    column->setMenuBar(menu);

    // On a small screen the window shrinks and scrolls; it opens whole.
    auto* area = new QScrollArea(this);
    area->setObjectName(QStringLiteral("scrollArea"));
    area->setFrameShape(QFrame::NoFrame);
    auto* client = new QWidget;
    client->setFixedSize(toPixels(11085), toPixels(11460));
    area->setWidget(client);
    column->addWidget(area);

    auto* frame = new QWidget(client);  // clips the pictures to the viewport
    frame->setObjectName(QStringLiteral("pic_frame"));
    frame->setGeometry(toPixels(kFrameLeft), toPixels(kFrameTop), toPixels(kFrameWidth),
                       toPixels(kFrameHeight));
    frame->setAutoFillBackground(true);

    const qreal ratio = qApp->devicePixelRatio();
    const QPixmap art = artwork(ratio);
    pictures_.push_back(new DiagramPicture(QStringLiteral("pic_kestrel"), art, kDiagramLeft,
                                           kDiagramTop, false, frame));
    for (const Hotspot& h : kHotspots) {
        const QRect crop(qRound(toPixels(h.left - kDiagramLeft) * ratio),
                         qRound(toPixels(h.top - kDiagramTop) * ratio),
                         qRound(toPixels(h.width) * ratio), qRound(toPixels(h.height) * ratio));
        const QString name = QLatin1String(h.name);
        auto* picture = new DiagramPicture(name, art.copy(crop), h.left, h.top, true, frame);
        if (name != QLatin1String("pic_vrev")) picture->setCursor(Qt::WhatsThisCursor);
        // The block's name as the user knows it: the editor's title.
        const editors::EditorDef* editor = h.editor ? editors::findEditor(h.editor) : nullptr;
        picture->setToolTip(editor ? QString::fromUtf8(editor->title.data(),
                                                       static_cast<qsizetype>(editor->title.size()))
                                   : QLatin1String(h.message));
        connect(picture, &DiagramPicture::clicked, this, [this, name] { hotspotClick(name); });
        pictures_.push_back(picture);
    }

    HScroll1_ = new QScrollBar(Qt::Horizontal, client);
    HScroll1_->setObjectName(QStringLiteral("HScroll1"));
    HScroll1_->setGeometry(0, toPixels(11040), toPixels(9075), toPixels(255));
    VScroll1_ = new QScrollBar(Qt::Vertical, client);
    VScroll1_->setObjectName(QStringLiteral("VScroll1"));
    VScroll1_->setGeometry(toPixels(9120), 0, toPixels(255), toPixels(10335));
    for (QScrollBar* bar : {HScroll1_, VScroll1_}) {
        bar->setSingleStep(50);
        bar->setPageStep(500);
    }
    connect(HScroll1_, &QScrollBar::valueChanged, this, [this](int v) { HScroll1_Change(v); });
    connect(VScroll1_, &QScrollBar::valueChanged, this, [this](int v) { VScroll1_Change(v); });
    // Opens at the picture's full size; smaller when the screen is.
    resize(client->width(), client->height() + menu->sizeHint().height());
}

void DiagramWindow::Form_Load() {
    g_.ConfigWindowOpen = true;
    // Twips stay the window's unit: the diagram scrolls until its right and
    // bottom edges meet the viewport's, and no further.
    HScroll1_->setMaximum(kDiagramWidth - kFrameWidth);
    VScroll1_->setMaximum(kDiagramHeight - kFrameHeight);
    HScroll1_->setMinimum(0);
    VScroll1_->setMinimum(0);
}

void DiagramWindow::hotspotClick(const QString& name) {
    const Hotspot* h = findHotspot(name);
    if (h == nullptr) return;
    if (h->editor != nullptr) {
        hide();
        open_(QLatin1String(h->editor), false);
    } else {
        dialogs_.message(this, kProgramTitle, QLatin1String(h->message));
    }
}

void DiagramWindow::HScroll1_Change(int value) {
    for (DiagramPicture* p : pictures_) p->moveTo(p->homeLeft() - value, p->top());
}

void DiagramWindow::VScroll1_Change(int value) {
    for (DiagramPicture* p : pictures_) p->moveTo(p->left(), p->homeTop() - value);
}

void DiagramWindow::closeEvent(QCloseEvent* event) {
    hide();
    g_.ConfigWindowOpen = false;
    event->accept();
}

}  // namespace kestrel
