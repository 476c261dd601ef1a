#include "MbusFrameReader.h"

#include "TagField.h"

#include <QDateTime>
#include <QVector>

namespace
{
using HeaderText = TagField<CaptureFrame_t, QString>;

constexpr HeaderText HeaderTexts[] = {
    {"Manufacturer", &CaptureFrame_t::Manufacturer},
    {"Id", &CaptureFrame_t::Id},
    {"Medium", &CaptureFrame_t::Medium},
    {"Status", &CaptureFrame_t::Status},
    {"Signature", &CaptureFrame_t::Signature},
    {"Type", &CaptureFrame_t::Type},
};

int decimal(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

// Writes the frame's element again, four blanks per level as the frame documents are laid out. A frame
// store takes 100,000 frames in well under two seconds; a general XML writer per frame takes most of that
// budget by itself, and this needs only tags, attributes, text and comments.
class IndentWriter
{
public:
    explicit IndentWriter(QString *out) : out(*out) { this->out.reserve(ExpectedLength); }

    void writeStartElement(const QStringRef &name, const QXmlStreamAttributes &attributes)
    {
        closeStartTag();
        if (!open.isEmpty())
            open.last().children = true;
        newLine();
        out += '<';
        // The end tag copies the name from here: no string of its own per element.
        const int nameAt = out.size();
        out += name;
        for (const QXmlStreamAttribute &attribute : attributes)
        {
            out += ' ';
            out += attribute.qualifiedName();
            out += QLatin1String("=\"");
            appendEscaped(attribute.value());
            out += '"';
        }
        open.append({nameAt, name.size(), false, true});
    }
    void writeCharacters(const QStringRef &text)
    {
        closeStartTag();
        appendEscaped(text);
    }
    void writeCDATA(const QStringRef &text)
    {
        closeStartTag();
        out += QLatin1String("<![CDATA[");
        out += text;
        out += QLatin1String("]]>");
    }
    void writeComment(const QStringRef &text)
    {
        closeStartTag();
        open.last().children = true;
        newLine();
        out += QLatin1String("<!--");
        out += text;
        out += QLatin1String("-->");
    }
    void writeEndElement()
    {
        Open element = open.takeLast();
        if (element.startTagOpen)
        {
            out += QLatin1String("/>");
            return;
        }
        if (element.children)
            newLine();
        out += QLatin1String("</");
        // Room first, so that the name is copied from where it stays.
        out.reserve(out.size() + element.nameLength + 1);
        out.append(out.constData() + element.nameAt, element.nameLength);
        out += '>';
    }

private:
    static constexpr int ExpectedLength = 4096; // characters of a large frame document

    struct Open
    {
        int nameAt; // where the start tag's name stands in out
        int nameLength;
        bool children;
        bool startTagOpen;
    };
    QString &out;
    QVector<Open> open;

    void closeStartTag()
    {
        if (open.isEmpty() || !open.last().startTagOpen)
            return;
        out += '>';
        open.last().startTagOpen = false;
    }
    // The text with the characters a QString::toHtmlEscaped would replace replaced, without a copy of its own.
    void appendEscaped(const QStringRef &text)
    {
        const QChar *chars = text.unicode();
        const int size = text.size();
        int from = 0;
        for (int i = 0; i < size; ++i)
        {
            const ushort c = chars[i].unicode();
            const char *entity = c == '<'   ? "&lt;"
                                 : c == '>' ? "&gt;"
                                 : c == '&' ? "&amp;"
                                 : c == '"' ? "&quot;"
                                            : nullptr;
            if (!entity)
                continue;
            out.append(chars + from, i - from);
            out += QLatin1String(entity);
            from = i + 1;
        }
        out.append(chars + from, size - from);
    }
    // A new line at the depth of the open elements.
    void newLine()
    {
        if (out.isEmpty())
            return;
        out += '\n';
        out += QString(open.size() * 4, ' ');
    }
};

// Copies the element the reader stands on to the writer and collects the fields of the frame. The text
// of an element is its first child when that is text, as the frame documents have it.
class Walker
{
public:
    Walker(QXmlStreamReader &reader, IndentWriter &writer, CaptureFrame_t &frame)
        : reader(reader), writer(writer), frame(frame)
    {
    }

    void root()
    {
        QXmlStreamAttributes attributes = reader.attributes();
        frame.date = attributes.hasAttribute("date") ? attributes.value("date").toString() : QString("No date");
        if (attributes.hasAttribute("time"))
        {
            bool ok = false;
            frame.time = attributes.value("time").toLongLong(&ok);
            if (!ok)
                frame.time = 0;
        }
        else
        {
            frame.time = QDateTime::currentMSecsSinceEpoch();
            attributes.append("time", QString::number(frame.time));
        }
        writer.writeStartElement(reader.name(), attributes);
        walk(Root);
    }

private:
    QXmlStreamReader &reader;
    IndentWriter &writer;
    CaptureFrame_t &frame;

    enum Context
    {
        Root,
        Header,
        Radio,
        Other
    };

    // Copies the content of the current element up to its end, reading the fields that belong to context.
    // Fields are read from the child elements up to the first node of another kind (a comment, text); the
    // rest is still copied whole.
    void walk(Context context)
    {
        while (!reader.atEnd())
        {
            switch (reader.readNext())
            {
            case QXmlStreamReader::StartElement:
                element(context);
                break;
            case QXmlStreamReader::EndElement:
                writer.writeEndElement();
                return;
            case QXmlStreamReader::Characters:
                if (reader.isCDATA() || !reader.isWhitespace())
                {
                    context = Other;
                    if (reader.isCDATA())
                        writer.writeCDATA(reader.text());
                    else
                        writer.writeCharacters(reader.text());
                }
                break;
            case QXmlStreamReader::Comment:
                context = Other;
                writer.writeComment(reader.text());
                break;
            case QXmlStreamReader::ProcessingInstruction:
                context = Other;
                break;
            default:
                break;
            }
        }
    }

    void element(Context parent)
    {
        const QStringRef name = reader.name();
        Context context = Other;
        QString *textField = nullptr;
        enum
        {
            None,
            Access,
            Rssi
        } number = None;
        if (parent == Root)
        {
            if (name == QLatin1String("header"))
                context = Header;
            else if (name == QLatin1String("radio"))
                context = Radio;
            else if (name == QLatin1String("raw"))
                textField = &frame.raw;
            else if (name == QLatin1String("error"))
                textField = &frame.error;
        }
        else if (parent == Header)
        {
            if (name == QLatin1String("AccessNumber"))
                number = Access;
            else if (QString CaptureFrame_t::*field = HeaderText::find(HeaderTexts, name))
                textField = &(frame.*field);
        }
        else if (parent == Radio && name == QLatin1String("rssi"))
            number = Rssi;

        writer.writeStartElement(name, reader.attributes());
        if (textField == nullptr && number == None)
        {
            walk(context);
            return;
        }
        const QString text = leadingText();
        if (textField)
            *textField = text;
        else if (number == Access)
            frame.AccessNumber = text.isEmpty() ? CaptureFrame_t::NoValue : decimal(text);
        else
            frame.rssi = -(decimal(text) / 2);
    }

    // The element's first text and the rest of its content, up to its end.
    QString leadingText()
    {
        QString text;
        bool first = true;
        while (!reader.atEnd())
        {
            switch (reader.readNext())
            {
            case QXmlStreamReader::Characters:
                // Blank text between tags is no node of its own, as the DOM readers see it.
                if (reader.isWhitespace() && !reader.isCDATA())
                {
                    writer.writeCharacters(reader.text());
                    break;
                }
                if (first)
                    text = reader.text().toString();
                first = false;
                if (reader.isCDATA())
                    writer.writeCDATA(reader.text());
                else
                    writer.writeCharacters(reader.text());
                break;
            case QXmlStreamReader::StartElement:
                first = false;
                element(Other);
                break;
            case QXmlStreamReader::EndElement:
                writer.writeEndElement();
                return text;
            case QXmlStreamReader::Comment:
                first = false;
                writer.writeComment(reader.text());
                break;
            default:
                break;
            }
        }
        return text;
    }
};
} // namespace

std::shared_ptr<CaptureFrame_t> MbusFrameReader::read(QXmlStreamReader &reader)
{
    if (reader.name() != QLatin1String("mbus"))
    {
        reader.skipCurrentElement();
        return nullptr;
    }
    auto frame = std::make_shared<CaptureFrame_t>();
    IndentWriter writer(&frame->xml);
    Walker(reader, writer, *frame).root();
    if (reader.hasError())
        return nullptr;
    frame->xml += '\n';
    return frame;
}

std::shared_ptr<CaptureFrame_t> MbusFrameReader::fromText(const QString &text, bool &wellFormed)
{
    QXmlStreamReader reader(text);
    std::shared_ptr<CaptureFrame_t> frame;
    if (reader.readNextStartElement())
        frame = read(reader);
    while (!reader.atEnd())
        reader.readNext();
    wellFormed = !reader.hasError();
    if (!wellFormed)
        return nullptr;
    return frame;
}
