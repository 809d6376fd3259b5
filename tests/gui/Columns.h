#pragma once

// A test table's columns in one call: Columns<int, QString>("count", "text").
#include <QTest>

template <typename... Types, typename... Names>
void Columns(const Names&... names) {
    (QTest::addColumn<Types>(names), ...);
}
