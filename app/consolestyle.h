#ifndef CONSOLESTYLE_H
#define CONSOLESTYLE_H

// Installs the "plastique" style when this Qt installation has it (else the
// default style stays, silently) and that style's standard palette.
void installConsoleStyle();

#endif // CONSOLESTYLE_H
