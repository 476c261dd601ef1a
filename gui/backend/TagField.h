#ifndef GUI_BACKEND_TAGFIELD_H
#define GUI_BACKEND_TAGFIELD_H

#include <QLatin1String>
#include <cstddef>

// One entry of a table that maps an element name to the field of a record it fills; the readers of the
// back end keep one constexpr table of these per kind of element.
template <typename Record, typename Field> struct TagField
{
    const char *tag;
    Field Record::*field;

    // The field of the entry whose tag equals name exactly; null when the table has none.
    template <std::size_t N, typename Name> static Field Record::*find(const TagField (&table)[N], const Name &name)
    {
        for (const TagField &entry : table)
            if (name == QLatin1String(entry.tag))
                return entry.field;
        return nullptr;
    }
};

#endif
