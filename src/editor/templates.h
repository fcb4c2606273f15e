#pragma once
// Templates: card files whose layout another card takes over. A template is
// an ordinary card data file (it opens and edits like any card) holding a
// hidden record kTemplateRecordKey with its title, group and description,
// and, as sample data, texts and pictures that a card with no data of its
// own shows in their place. The shipped templates sit in the program's data
// folder, the user's own in $XDG_DATA_HOME/plakuro/templates; a template's
// name is its file name without ".pkd".

#include "card/converter.h"
#include "card/objects.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <string>
#include <utility>
#include <vector>

inline constexpr const char *kTemplateRecordKey = "zTemplate";

enum class TemplateGroup
{
    Horizontal,
    Vertical,
    English,
    Own,
};

// 「横」「縦」「英語 (裏面)」「自分のテンプレート」: the gallery's tabs and the
// group column of plakuro-cli templates.
QString TemplateGroupName(TemplateGroup group);
// The group a name (as TemplateGroupName gives it, or "横", "縦", "英語")
// names; false for none.
bool TemplateGroupFromName(const QString &name, TemplateGroup &out);

struct TemplateMeta
{
    QString title; // shown under the thumbnail; the name when empty
    TemplateGroup group = TemplateGroup::Own;
    QString description;

    bool operator==(const TemplateMeta &) const = default;
};

// What the card's template record says; an empty title and the group Own
// for a card without one.
TemplateMeta ReadTemplateMeta(const Objects &card);
// The hidden record holding `meta` (key, ASCII text), for
// EditSession::SetHiddenRecords with kTemplateRecordKey; a title or
// description too long for the record is cut at a whole character.
std::vector<std::pair<std::string, std::string>> TemplateMetaRecords(const TemplateMeta &meta);

struct TemplateFile
{
    QString name; // the file name without ".pkd"
    QString path;
    TemplateMeta meta; // a user's template is always in the group Own
    bool own = false;
};

// The folders shipped templates are looked for in, in order: "templates"
// beside the program (a build tree), the data folder relative to the
// program's (an installed tree, wherever it moved), then the XDG data
// folders. Only those that exist.
QStringList ShippedTemplateFolders(const QString &programDir);
// $XDG_DATA_HOME/plakuro/templates (it may not exist yet).
QString OwnTemplateFolder();
// The shipped templates by group and name (a name found twice: the first
// folder's), then the user's by name. Files that are no card are left out.
std::vector<TemplateFile> ListTemplates(const QString &programDir);
// The template of that name, the user's own winning over a shipped one;
// null when none.
const TemplateFile *FindTemplate(const std::vector<TemplateFile> &all, const QString &name);
// Names like `name` (case and width ignored): those containing it or it
// them, and those a few letters away; at most five, closest first.
QStringList CloseTemplateNames(const std::vector<TemplateFile> &all, const QString &name);

// A template's card, read and repaired as Open does. Throws FileError or
// ReadError (a file that is no card data file too).
Objects ReadTemplateCard(const QString &path);

// The captions (UTF-8 field captions, 「携帯電話」) of the fields the
// template leaves out by design: their objects' visible flags are clear.
QStringList LeftOutFields(const Objects &tpl);
// Whether any of the fourteen fields holds text.
bool HasFieldData(const Objects &card);

// Lays `tpl` out over `card`, which keeps its data: each field takes the
// template's object (place, font, colour, label, stacking order, shown or
// left out) with the card's text; the QR code the template's place, size,
// visibility and format; the picture the template's place (the card's
// picture fitted inside it, aspect kept) or is hidden when the template has
// none; the background the template's picture or none; the objects the user
// added give way to the template's. With `takeSample` the texts and the
// picture are the template's own as well (a card with no data of its own).
// The template has a place for the picture when it shows one or keeps its
// box (CardOptions::pictureBox). Hidden records other than the options
// and the template's own stay. The QR symbol is not rebuilt.
void ApplyTemplateLayout(Objects &card, const Objects &tpl, bool takeSample);

// Makes `card` a template described by `meta`. Unless `keepData`, the
// fields' texts are emptied and the picture leaves the file, its box kept
// as the template's place for one; the background and what the user added
// are the design and stay.
void MakeTemplateCard(Objects &card, const TemplateMeta &meta, bool keepData);

// A file name (without folder) for a template titled `title`: the title
// with the characters a file name cannot hold replaced, plus ".pkd".
QString TemplateFileName(const QString &title);

// `card` laid out by `tpl` (as ApplyTemplateLayout, with the sample data
// when the card has none), drawn `width` pixels wide on white.
QImage TemplatePreview(const Objects &card, const Objects &tpl, int width);
