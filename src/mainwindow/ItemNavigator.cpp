#include "ItemNavigator.h"

#include "common/ErrorTrap.h"
#include "common/Prompts.h"

namespace tv {

namespace {
const QString kForm = QStringLiteral("frmMain");
} // namespace

void emptyMessage()
{
    prompts().message(QStringLiteral("RecordSet is Empty"), MsgButtons::Ok, MsgIcon::Stop,
                      QStringLiteral("No Records"));
}

ItemNavigator::ItemNavigator(ItemRecordSet &records, std::function<void()> view)
    : m_records(records), m_view(std::move(view))
{
}

bool ItemNavigator::edgeMessage(const QString &singleRowText)
{
    const int count = m_records.recordCount();
    if (count == 0) {
        emptyMessage();
        return true;
    }
    if (count == 1) {
        prompts().message(singleRowText, MsgButtons::Ok, MsgIcon::Information,
                          QStringLiteral("Single Record"));
        return true;
    }
    return false;
}

void ItemNavigator::moveFirst()
{
    trapped(QStringLiteral("cmdFirst_Click"), kForm, [&] {
        if (edgeMessage(QStringLiteral("This is the First Record in the Database."))) return;
        m_records.moveFirst();
        m_view();
    });
}

void ItemNavigator::moveLast()
{
    trapped(QStringLiteral("cmdLast_Click"), kForm, [&] {
        if (edgeMessage(QStringLiteral("This is Also the First Record in the Database."))) return;
        m_records.moveLast();
        m_view();
    });
}

void ItemNavigator::moveNext()
{
    trapped(QStringLiteral("cmdNext_Click"), kForm, [&] {
        if (edgeMessage(QStringLiteral("There is Only One Record in the Database."))) return;
        if (m_records.eof()) return;
        m_records.moveNext();
        m_view();
    });
}

void ItemNavigator::movePrevious()
{
    trapped(QStringLiteral("cmdPrev_Click"), kForm, [&] {
        if (edgeMessage(QStringLiteral("There is Only One Record in the Database."))) return;
        if (m_records.bof()) return;
        m_records.movePrevious();
        m_view();
    });
}

void ItemNavigator::gridRowClicked()
{
    trapped(QStringLiteral("DataGrid1_Click"), kForm, [&] {
        if (m_records.recordCount() > 0)
            m_view();
        else
            emptyMessage();
    });
}

} // namespace tv
