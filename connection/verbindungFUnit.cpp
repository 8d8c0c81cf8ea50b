#include "connection/verbindungFUnit.h"

#include "common/FormStorage.h"
#include "common/FormTools.h"
#include "common/Interaction.h"
#include "common/Secret.h"
#include "connection/IntegerText.h"
#include "connection/PasswordPrompt.h"
#include "connection/SshDialog.h"
#include "connection/TlsDialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShowEvent>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

const QString StorageSection = QStringLiteral("TDialog");

constexpr std::int32_t DefaultTimeout = 30;

QString RefusedNumber(const QString &field, const QString &text, const QString &allowed) {
  return QStringLiteral("Das Feld „%1“ enthält „%2“; erlaubt ist %3. Es wurde keine Verbindung "
                        "aufgebaut.")
      .arg(field, text, allowed);
}

// The designed client area; the dialog grows only where the font needs it.
constexpr int DesignWidth = 423;
constexpr int DesignHeight = 324;

// Width of a line edit that shows `sample` whole, computed as QLineEdit's own
// size hint does for its seventeen "x".
int editWidthFor(const QLineEdit *edit, const QString &sample) {
  const QFontMetrics metrics(edit->font());
  const QMargins text = edit->textMargins();
  const QMargins contents = edit->contentsMargins();
  constexpr int innerMargin = 2; // QLineEdit's own margin on either side of the text
  constexpr int cursorRoom = 2;
  const int width = metrics.horizontalAdvance(sample) + 2 * innerMargin + cursorRoom + text.left() +
                    text.right() + contents.left() + contents.right();
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.lineWidth = edit->hasFrame()
                         ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                         : 0;
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  return edit->style()
      ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(width, metrics.height()), edit)
      .width();
}

// Sets an edit's text whole: a saved text longer than the edit takes when
// typing (a long host name) widens the limit instead of being cut short.
void fillEdit(QLineEdit *edit, const QString &text) {
  if (text.size() > edit->maxLength())
    edit->setMaxLength(static_cast<int>(text.size()));
  edit->setText(text);
}

// Shows a connection's settings (TLS, SSH) in their dialog, and stores what
// it returns when it closes with OK.
template <typename Form, typename Load, typename Store>
void EditConnectionSettings(const ConnectionKey &connection, Form &form, Load load, Store store) {
  form.Fill(connection.caption(), load(connection.host, connection.port, connection.user));
  if (ExecModal(form) == QDialog::Accepted)
    store(connection.host, connection.port, connection.user, form.Settings());
}

} // namespace

TDialog::TDialog(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Dialog"));
  setWindowTitle(QStringLiteral("Mit MySQL Datenbank verbinden"));
  // A fixed-size dialog frame with a close box only.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  LabelHost = new QLabel(QStringLiteral("&Hostname/IP:"), this);
  EditHost = new QLineEdit(this);
  LabelPort = new QLabel(QStringLiteral("&Port:"), this);
  LabelPort->setAlignment(Qt::AlignCenter);
  EditPort = new QLineEdit(this);
  EditPort->setMaxLength(5);
  LabelUser = new QLabel(QStringLiteral("Benutzername:"), this);
  EditUser = new QLineEdit(QStringLiteral("root"), this);
  LabelPass = new QLabel(QStringLiteral("Passwort:"), this);
  EditPass = new QLineEdit(this);
  EditPass->setEchoMode(QLineEdit::Password);
  // Every character of the password shows as "*".
  EditPass->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  LabelTime = new QLabel(QStringLiteral("&Timeout:"), this);
  EditTime = new QLineEdit(QStringLiteral("30"), this);
  EditTime->setMaxLength(3);
  LabelSecs = new QLabel(QStringLiteral("Sek."), this);
  AddBtn = new BitBtnXP(QStringLiteral("Hinzufügen"), BitBtnXP::Kind::Custom, this);
  AddBtn->setGlyph(QStyle::SP_FileDialogNewFolder);
  DelBtn = new BitBtnXP(QStringLiteral("Löschen"), BitBtnXP::Kind::Custom, this);
  DelBtn->setGlyph(QStyle::SP_TrashIcon);
  ListView1 = new ReportListView(this);
  ListView1->setColumns({QStringLiteral("Host"), QStringLiteral("User"), QStringLiteral("Pass"),
                         QStringLiteral("Port")},
                        {50, 50, 50, 50});
  // Wider than the designed 50 pixels each, so that an address, a user name
  // and a port show whole in the platform's font.
  const QFontMetrics metrics(ListView1->font());
  const int padding = 2 * metrics.averageCharWidth();
  ListView1->setColumnWidth(0,
                            metrics.horizontalAdvance(QStringLiteral("255.255.255.255")) + padding);
  ListView1->setColumnWidth(1, metrics.horizontalAdvance(QStringLiteral("Benutzer")) + padding);
  int placeWidth = 0;
  for (PasswordPlace place : {PasswordPlace::File, PasswordPlace::Keyring, PasswordPlace::Ask})
    placeWidth = std::max(placeWidth, metrics.horizontalAdvance(PasswordPlaceText(place)));
  ListView1->setColumnWidth(2, placeWidth + padding);
  ListView1->setColumnWidth(3, metrics.horizontalAdvance(QStringLiteral("65535")) + padding);
  ListView1->setFirstColumnEditable(true);
  Bevel1 = new QFrame(this);
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // QDialog's own keys do what the form needs: Enter presses the default
  // button "&Verbinden" unless the focus is on another button (which Enter
  // then presses), Escape cancels as "A&bbrechen" does.
  ButtonOK = new BitBtnXP(QStringLiteral("&Verbinden"), BitBtnXP::Kind::Ok, Bevel1);
  ButtonOK->setDefault(true);
  ButtonCancel = new BitBtnXP(QStringLiteral("A&bbrechen"), BitBtnXP::Kind::Cancel, Bevel1);
  TlsBtn = new BitBtnXP(QStringLiteral("T&LS..."), BitBtnXP::Kind::Custom, Bevel1);
  TlsBtn->setGlyph(QStyle::SP_VistaShield);
  SshBtn = new BitBtnXP(QStringLiteral("&SSH..."), BitBtnXP::Kind::Custom, Bevel1);
  SshBtn->setGlyph(QStyle::SP_DriveNetIcon);

  LabelHost->setObjectName(QStringLiteral("LabelHost"));
  EditHost->setObjectName(QStringLiteral("EditHost"));
  LabelPort->setObjectName(QStringLiteral("LabelPort"));
  EditPort->setObjectName(QStringLiteral("EditPort"));
  LabelUser->setObjectName(QStringLiteral("LabelUser"));
  EditUser->setObjectName(QStringLiteral("EditUser"));
  LabelPass->setObjectName(QStringLiteral("LabelPass"));
  EditPass->setObjectName(QStringLiteral("EditPass"));
  LabelTime->setObjectName(QStringLiteral("LabelTime"));
  EditTime->setObjectName(QStringLiteral("EditTime"));
  LabelSecs->setObjectName(QStringLiteral("LabelSecs"));
  AddBtn->setObjectName(QStringLiteral("AddBtn"));
  DelBtn->setObjectName(QStringLiteral("DelBtn"));
  ListView1->setObjectName(QStringLiteral("ListView1"));
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
  ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
  TlsBtn->setObjectName(QStringLiteral("TlsBtn"));
  SshBtn->setObjectName(QStringLiteral("SshBtn"));

  // Both "&Hostname/IP:" and "&Port:" lead to the host edit; "&Timeout:" to its edit.
  LabelHost->setBuddy(EditHost);
  LabelPort->setBuddy(EditHost);
  LabelUser->setBuddy(EditUser);
  LabelPass->setBuddy(EditPass);
  LabelTime->setBuddy(EditTime);
  EditHost->setAccessibleName(PlainCaption(LabelHost->text()));
  EditPort->setAccessibleName(PlainCaption(LabelPort->text()));
  EditUser->setAccessibleName(LabelUser->text());
  EditPass->setAccessibleName(LabelPass->text());
  EditTime->setAccessibleName(PlainCaption(LabelTime->text()));
  EditTime->setAccessibleDescription(QStringLiteral("Sekunden"));
  ListView1->setAccessibleName(QStringLiteral("Gespeicherte Verbindungen"));
  TlsBtn->setAccessibleName(QStringLiteral("TLS-Einstellungen dieser Verbindung"));
  SshBtn->setAccessibleName(QStringLiteral("SSH-Tunnel dieser Verbindung"));

  buildLayout();
  SetTabChain({EditHost, EditPort, EditUser, EditPass, EditTime, ButtonOK, ButtonCancel, ListView1,
               AddBtn, DelBtn, TlsBtn, SshBtn});
  wire();
  FormCreate();
}

TDialog::~TDialog() { ForgetPassword(); }

void TDialog::buildLayout() {
  // Designed: edits 21 high on a pitch of 32 from the top at 16; labels end
  // where the edits begin (left edge 96); "&Port:" centred between the host
  // edit (173 wide) and the port edit (33 wide); the user and password edits
  // reach the right edge of the port edit. A larger font widens and heightens
  // what it needs and keeps the rest.
  const int editHeight = std::max(21, EditHost->sizeHint().height());
  for (QLineEdit *edit : {EditHost, EditPort, EditUser, EditPass, EditTime})
    edit->setFixedHeight(editHeight);
  const int hostWidth = 173;
  const int portWidth = std::max(33, editWidthFor(EditPort, QStringLiteral("65535")));
  const int portLabelWidth = std::max(43, LabelPort->sizeHint().width() + 8);
  EditHost->setFixedWidth(hostWidth);
  EditPort->setFixedWidth(portWidth);
  LabelPort->setFixedWidth(portLabelWidth);
  EditUser->setFixedWidth(hostWidth + portLabelWidth + portWidth);
  EditPass->setFixedWidth(hostWidth + portLabelWidth + portWidth);
  EditTime->setFixedWidth(std::max(29, editWidthFor(EditTime, QStringLiteral("999"))));

  int labelColumn = 80;
  for (QLabel *label : {LabelHost, LabelUser, LabelPass, LabelTime})
    labelColumn = std::max(labelColumn, label->sizeHint().width() + 6);

  auto *fields = new QGridLayout;
  fields->setContentsMargins(16, 16, 0, 0);
  fields->setHorizontalSpacing(0);
  fields->setVerticalSpacing(std::max(4, 32 - editHeight));
  fields->setColumnMinimumWidth(0, labelColumn);
  fields->addWidget(LabelHost, 0, 0);
  fields->addWidget(EditHost, 0, 1);
  fields->addWidget(LabelPort, 0, 2);
  fields->addWidget(EditPort, 0, 3);
  fields->addWidget(LabelUser, 1, 0);
  fields->addWidget(EditUser, 1, 1, 1, 3);
  fields->addWidget(LabelPass, 2, 0);
  fields->addWidget(EditPass, 2, 1, 1, 3);
  fields->addWidget(LabelTime, 3, 0);
  auto *time = new QHBoxLayout;
  time->setSpacing(6);
  time->addWidget(EditTime);
  time->addWidget(LabelSecs);
  time->addStretch(1);
  fields->addLayout(time, 3, 1, 1, 3);
  fields->setColumnStretch(4, 1);

  // "Hinzufügen" at 16 (113 wide) and "Löschen" 7 to its right (97 wide).
  AddBtn->setDesignSize(113, 25);
  DelBtn->setDesignSize(97, 25);
  auto *listButtons = new QHBoxLayout;
  listButtons->setContentsMargins(16, 0, 0, 0);
  listButtons->setSpacing(7);
  listButtons->addWidget(AddBtn);
  listButtons->addWidget(DelBtn);
  listButtons->addStretch(1);

  // The list from 8 to 409, at least 97 high.
  ListView1->setMinimumSize(401, 97);
  // Widen a column for its caption, never narrow it below the width given above.
  for (int column = 0; column < 4; ++column)
    ListView1->setColumnWidth(column, std::max({50, ListView1->columnWidth(column),
                                                ListView1->header()->sectionSizeHint(column)}));
  auto *list = new QHBoxLayout;
  list->setContentsMargins(8, 0, 14, 0);
  list->addWidget(ListView1);

  // The lowered strip along the bottom, 50 high; the buttons 14 below its top
  // edge, "A&bbrechen" 22 from the right, "&Verbinden" 7 to its left.
  // "T&LS..." and "&SSH..." stand apart at the strip's left end, 16 from
  // the edge as "Hinzufügen" above them.
  ButtonOK->setDesignSize(97, 23);
  ButtonCancel->setDesignSize(89, 23);
  TlsBtn->setDesignSize(75, 23);
  SshBtn->setDesignSize(75, 23);
  const int frame = Bevel1->frameWidth();
  auto *strip = new QHBoxLayout(Bevel1);
  strip->setContentsMargins(16 - frame, 14 - frame, 22 - frame, 13 - frame);
  strip->setSpacing(7);
  strip->addWidget(TlsBtn);
  strip->addWidget(SshBtn);
  strip->addStretch(1);
  strip->addWidget(ButtonOK);
  strip->addWidget(ButtonCancel);
  Bevel1->setFixedHeight(std::max(50, ButtonOK->sizeHint().height() + 27));

  auto *outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->addLayout(fields);
  outer->addSpacing(3);
  outer->addLayout(listButtons);
  outer->addSpacing(7);
  outer->addLayout(list, 1);
  outer->addSpacing(9);
  outer->addWidget(Bevel1);

  setFixedSize(outer->totalMinimumSize().expandedTo(QSize(DesignWidth, DesignHeight)));
}

void TDialog::wire() {
  connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(TlsBtn, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { TlsBtnClick(); }); });
  connect(SshBtn, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { SshBtnClick(); }); });
  connect(AddBtn, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { AddBtnClick(); }); });
  connect(DelBtn, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { DelBtnClick(); }); });
  // Only a double-click on a row: one on the empty part of the list does nothing.
  connect(ListView1, &QAbstractItemView::doubleClicked, this,
          [this] { RunHandler(this, [this] { ListView1DblClick(); }); });
  // A host edited in place (F2) is saved once the editor has closed, like any
  // change of the list: the save may wait for the keyring and show messages.
  connect(&ListView1->items(), &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
            for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
              if (!m_editSaveQueued && row < m_rows.size() &&
                  ListView1->items().cell(row, 0) != m_rows[row].host) {
                m_editSaveQueued = true;
                QMetaObject::invokeMethod(
                    this, [this] { RunHandler(this, [this] { ListView1Edited(); }); },
                    Qt::QueuedConnection);
              }
          });
}

void TDialog::FormCreate() {
  EditHost->setMaxLength(60);
  EditUser->setMaxLength(80);
  EditPass->setMaxLength(128);
  EditHost->setText(QStringLiteral("localhost"));
  EditPort->setText(QStringLiteral("3306"));
  LoadOptions();
}

void TDialog::AddBtnClick() {
  SavedConnection row{EditHost->text(), EditUser->text(), EditPass->text(), EditPort->text()};
  if (!row.password.isEmpty())
    keepPassword(row);
  m_rows.append(row);
  ListView1->items().appendRow(cellsOf(row));
  SaveOptions();
}

void TDialog::DelBtnClick() {
  const int row = ListView1->selectedRow();
  if (row >= 0 && row < m_rows.size()) {
    m_gone.append(m_rows.takeAt(row));
    ListView1->items().removeRow(row);
  }
  SaveOptions();
}

void TDialog::ListView1DblClick() {
  const int row = ListView1->selectedRow();
  if (row < 0)
    return;
  const std::optional<QString> password = passwordFor(m_rows.value(row));
  if (!password) // the user would rather not give it
    return;
  const ReportListModel &items = ListView1->items();
  fillEdit(EditHost, items.cell(row, 0));
  fillEdit(EditUser, items.cell(row, 1));
  fillEdit(EditPass, *password);
  fillEdit(EditPort, items.cell(row, 3));
  accept();
}

void TDialog::ListView1Edited() {
  m_editSaveQueued = false;
  // A save that waits for the keyring lets this run meanwhile; it has taken
  // the edit already (no edit can be made while it waits).
  if (!m_saving)
    SaveOptions();
}

ConnectionKey TDialog::namedConnection() const {
  return ConnectionKey::Of(EditHost->text(), EditPort->text(), EditUser->text());
}

ConnectionRequest TDialog::Request() const {
  ConnectionRequest request =
      RequestFor(EditHost->text(), EditPort->text(), EditUser->text(), EditTime->text());
  if (request.refusal.isEmpty())
    request.endpoint.password = EditPass->text();
  return request;
}

ConnectionRequest RequestFor(const QString &host, const QString &portText, const QString &user,
                             const QString &timeoutText) {
  // A number that is not what it says (a port beyond 65535 that would wrap,
  // "4270x", a time-out of 0 that would wait for ever) is refused.
  const std::optional<std::int32_t> port = NumberInRange(portText, 1, 65535, DefaultPort);
  if (!port)
    return {{},
            {},
            {},
            RefusedNumber(QStringLiteral("Port"), portText,
                          QStringLiteral("eine ganze Zahl von 1 bis 65535"))};
  const std::optional<std::int32_t> timeout =
      NumberInRange(timeoutText, 1, std::numeric_limits<std::int32_t>::max(), DefaultTimeout);
  if (!timeout)
    return {{},
            {},
            {},
            RefusedNumber(QStringLiteral("Timeout"), timeoutText,
                          QStringLiteral("eine ganze Zahl von Sekunden ab 1"))};
  ServerEndpoint endpoint;
  endpoint.host = host;
  endpoint.port = *port;
  endpoint.user = user;
  endpoint.connectTimeout = *timeout;
  return {endpoint,
          LoadTlsSettings(endpoint.host, endpoint.port, endpoint.user),
          LoadSshSettings(endpoint.host, endpoint.port, endpoint.user),
          {}};
}

void TDialog::ForgetPassword() {
  QString typed = EditPass->text();
  // Setting the text also clears the edit's undo history.
  EditPass->setText(QString());
  WipeText(typed);
}

void TDialog::TlsBtnClick() {
  EditConnectionSettings(namedConnection(), TlsForm(), LoadTlsSettings, StoreTlsSettings);
}

TTlsDialog &TDialog::TlsForm() {
  if (!m_tlsForm)
    m_tlsForm = new TTlsDialog(this);
  return *m_tlsForm;
}

void TDialog::SshBtnClick() {
  EditConnectionSettings(namedConnection(), SshForm(), LoadSshSettings, StoreSshSettings);
}

TSshDialog &TDialog::SshForm() {
  if (!m_sshForm)
    m_sshForm = new TSshDialog(this);
  return *m_sshForm;
}

void TDialog::SaveOptions() {
  const QScopedValueRollback saving(m_saving, true);
  adoptEditedHosts();
  movePasswordsToKeyring();
  const SavedConnectionsStore::Result saved = m_optionsFile.save(m_rows);
  // Another instance changed the file meanwhile: show what it holds now.
  if (saved.saved && saved.rows != m_rows)
    appendRows(saved.rows, true);
  reportFileProblems(saved);
  // Until the file no longer holds a row, its password stays where it is.
  if (saved.saved)
    forgetPasswords();
}

void TDialog::LoadOptions() {
  const SavedConnectionsStore::Result loaded = m_optionsFile.load();
  appendRows(loaded.rows, false);
  reportFileProblems(loaded);
}

void TDialog::appendRows(const QList<SavedConnection> &rows, bool replacing) {
  ListUpdate update(*ListView1);
  if (replacing) {
    ListView1->items().clear();
    m_rows.clear();
  }
  for (const SavedConnection &row : rows)
    ListView1->items().appendRow(cellsOf(row));
  m_rows += rows;
}

PasswordPlace TDialog::placeOf(const SavedConnection &row) const { return PasswordPlaceOf(row); }

QStringList TDialog::cellsOf(const SavedConnection &row) const {
  return {row.host, row.user, PasswordPlaceText(placeOf(row)), row.port};
}

// A typed password goes to the keyring; where none takes it, the user says
// whether it is kept in clear text or asked for at every connect.
void TDialog::keepPassword(SavedConnection &row) {
  const ConnectionKey key = ConnectionKey::Of(row);
  const Keyring::Answer stored = m_keyring.write(key, row.password);
  if (stored.outcome == Keyring::Outcome::Done) {
    StorePasswordPlace(key, PasswordPlace::Keyring);
    row.password.clear();
    return;
  }
  const QString question =
      QStringLiteral("Das Passwort von „%1“ kann nicht im Schlüsselbund aufbewahrt werden: %2.\n\n"
                     "Soll es im Klartext in options.dat gespeichert werden, wo es jeder lesen "
                     "kann, der die Datei lesen kann, oder bei jeder Verbindung erfragt werden?")
          .arg(key.caption(), stored.reason);
  if (ShowMessage(this, question, QStringLiteral("Kein Schlüsselbund"),
                  MessageButtons::PlainFileOrAsk, MessageIcon::Question) == MessageAnswer::Yes)
    return;
  StorePasswordPlace(key, PasswordPlace::Ask);
  row.password.clear();
}

// Passwords in clear text in the file (from an older file, from another
// instance, or kept so while there was no keyring) go to the keyring once it
// takes them; the file then holds an empty password.
void TDialog::movePasswordsToKeyring() {
  for (int row = 0; row < m_rows.size(); ++row) {
    SavedConnection &saved = m_rows[row];
    if (saved.password.isEmpty())
      continue;
    const ConnectionKey key = ConnectionKey::Of(saved);
    if (m_keyring.write(key, saved.password).outcome != Keyring::Outcome::Done)
      return;
    StorePasswordPlace(key, PasswordPlace::Keyring);
    saved.password.clear();
    ListView1->items().setCell(row, 2, PasswordPlaceText(PasswordPlace::Keyring));
  }
}

// A host edited in place in the list becomes the row's host, and the row's
// password goes with it.
void TDialog::adoptEditedHosts() {
  const ReportListModel &items = ListView1->items();
  for (int row = 0; row < m_rows.size() && row < items.rows(); ++row) {
    if (items.cell(row, 0) == m_rows[row].host)
      continue;
    const SavedConnection before = m_rows[row];
    m_rows[row].host = items.cell(row, 0);
    carryPassword(before, m_rows[row]);
    m_gone.append(before);
    ListView1->items().setCell(row, 2, PasswordPlaceText(placeOf(m_rows[row])));
  }
}

void TDialog::carryPassword(const SavedConnection &before, const SavedConnection &after) {
  if (!after.password.isEmpty()) // in the file: it goes with the row
    return;
  const ConnectionKey from = ConnectionKey::Of(before), to = ConnectionKey::Of(after);
  switch (LoadPasswordPlace(from)) {
  case PasswordPlace::Keyring: {
    Keyring::Answer kept = m_keyring.read(from);
    const bool carried = kept.outcome == Keyring::Outcome::Done &&
                         m_keyring.write(to, kept.password).outcome == Keyring::Outcome::Done;
    WipeText(kept.password);
    // What the keyring could not carry over is asked for at the connect.
    StorePasswordPlace(to, carried ? PasswordPlace::Keyring : PasswordPlace::Ask);
    break;
  }
  case PasswordPlace::Ask: StorePasswordPlace(to, PasswordPlace::Ask); break;
  case PasswordPlace::None:
  case PasswordPlace::File: break;
  }
}

// The password of a connection that no row names any more leaves the keyring
// and quellwerk.ini.
void TDialog::forgetPasswords() {
  for (const SavedConnection &gone : std::exchange(m_gone, {})) {
    const ConnectionKey key = ConnectionKey::Of(gone);
    if (std::any_of(m_rows.cbegin(), m_rows.cend(),
                    [&key](const SavedConnection &row) { return ConnectionKey::Of(row) == key; }))
      continue;
    if (LoadPasswordPlace(key) == PasswordPlace::Keyring)
      m_keyring.remove(key);
    StorePasswordPlace(key, PasswordPlace::None);
  }
}

// Nothing when the user would rather not give the password.
std::optional<QString> TDialog::passwordFor(const SavedConnection &row) {
  return SavedPassword(row, m_keyring, this);
}

PasswordPlace PasswordPlaceOf(const SavedConnection &row) {
  return row.password.isEmpty() ? LoadPasswordPlace(ConnectionKey::Of(row)) : PasswordPlace::File;
}

std::optional<QString> SavedPassword(const SavedConnection &row, Keyring &keyring,
                                     QWidget *parent) {
  const ConnectionKey key = ConnectionKey::Of(row);
  const auto ask = [&](const QString &why) -> std::optional<QString> {
    TPasswordPrompt prompt(parent);
    prompt.Fill(key, why);
    if (ExecModal(prompt) != QDialog::Accepted)
      return std::nullopt;
    return prompt.EditPass->text();
  };
  switch (PasswordPlaceOf(row)) {
  case PasswordPlace::File: return row.password;
  case PasswordPlace::None: return QString();
  case PasswordPlace::Ask: return ask({});
  case PasswordPlace::Keyring: break;
  }
  const Keyring::Answer kept = keyring.read(key);
  switch (kept.outcome) {
  case Keyring::Outcome::Done: return kept.password;
  case Keyring::Outcome::NotFound:
    return ask(
        QStringLiteral("Das Passwort von „%1“ ist nicht im Schlüsselbund.").arg(key.caption()));
  case Keyring::Outcome::Unavailable: break;
  }
  return ask(QStringLiteral("Das Passwort von „%1“ kann nicht aus dem Schlüsselbund "
                            "gelesen werden: %2.")
                 .arg(key.caption(), kept.reason));
}

void TDialog::reportFileProblems(const SavedConnectionsStore::Result &result) {
  for (const QString &error : result.errors)
    ShowEscapedError(this, error);
  if (!result.notice.isEmpty())
    ShowMessage(this, result.notice, ApplicationTitle);
}

int TDialog::pixelsPerInch() const {
  const QScreen *current = screen() ? screen() : QGuiApplication::primaryScreen();
  return current ? qRound(current->logicalDotsPerInch()) : 96;
}

void TDialog::placeOnScreen() {
  const std::optional<QRect> saved = RestoreFormPlacement(StorageSection, pixelsPerInch());
  // A place on a screen that is no longer there would leave the dialog out of reach.
  if (saved && QGuiApplication::screenAt(QRect(saved->topLeft(), frameGeometry().size()).center()))
    move(saved->topLeft());
  else
    CentreOnScreen(this);
}

void TDialog::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!event->spontaneous())
    placeOnScreen();
}

void TDialog::hideEvent(QHideEvent *event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous())
    StoreFormPlacement(StorageSection, frameGeometry(), pixelsPerInch());
}
