#pragma once

#include <QString>

#include <vector>

class CTFormView;
class QWidget;
struct ClientContext;
struct QMetaObject;

// The functions of the navigation tree that show a view in the right-hand pane: the
// tree's label, the view's class and how to make one.
struct FunctionEntry {
    QString label;
    const QMetaObject* viewClass;
    CTFormView* (*create)(ClientContext& context, QWidget* parent);
};

// Every function that has a view. Views of functions not built yet are absent: choosing
// them changes nothing.
const std::vector<FunctionEntry>& FunctionViews();

// The entry whose label equals `label` exactly, or nullptr.
const FunctionEntry* FindFunction(const QString& label);
