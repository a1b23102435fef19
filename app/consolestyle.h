#ifndef APP_CONSOLESTYLE_H
#define APP_CONSOLESTYLE_H

class QWidget;

// Installs the "plastique" style when this Qt installation has it (else the
// default style stays, silently) and that style's standard palette.
void installConsoleStyle();

// Gives each widget below form that carries the dynamic property
// "deferredStyleSheet" that text as its style sheet, and removes the
// property. The form keeps the style sheets of its inner tab widgets there:
// set while the form is built, each tab page added later would make Qt
// polish the whole styled tree again; set once the tree stands, they cost
// one pass.
void applyDeferredStyleSheets(QWidget *form);

#endif // APP_CONSOLESTYLE_H
