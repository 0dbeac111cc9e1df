// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the rows of an import one by one: which can be taken, with their numbers and kinds,
// and why each other one cannot.
#pragma once

#include "importrows.h"
#include "kindpages.h"

namespace qadora::csv::detail {

// One row read: its record, or why it cannot be taken.
struct RowResult {
    Record record;
    bool numbered = false; // the row gives its number
    QString category;      // the kind cell, when it names a plain category
    QString problem;
    QString cause;
    void refuse(const QString& why, const QString& kind)
    {
        problem = why;
        cause = kind;
    }
};

class Planner {
public:
    Planner(const ImportOptions& options, const ExistingRecords& existing, bool csv)
        : m_options(options)
        , m_existing(existing)
        , m_csv(csv)
        , m_pageNames(existing.pageNames)
    {
    }
    void run(RowSource& source, ImportPlan& plan);
    // Finds the header among the first rows; false when there is none.
    bool findHeader(RowSource& source, ImportPlan& plan, QString* firstProblem);

private:
    RowResult readRow(const TextRow& row);
    QString pageNameFor(const QString& category, ImportPlan& plan);

    const ImportOptions& m_options;
    const ExistingRecords& m_existing;
    bool m_csv;
    Header m_header;
    PageNames m_pageNames;
    QHash<QString, int> m_categoryIndex;
    QSet<QString> m_proposed; // case-folded page names proposed or chosen so far
    int m_nextProposal = 10;
};

} // namespace qadora::csv::detail
