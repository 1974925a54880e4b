// Global-order arcs: what placing a store or a session right behind the tail
// of its location adds to the order graph, when that placement is refused, and
// how it is taken back.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// Adds the arcs that put n2 right behind the tail n1 (null: n2 comes first).
// 1 added; -1 refused (a precedence n2-before-n1 may have been recorded);
// -2 refused for now, nothing recorded.
int_t ins_go_so_arc(opnode* n1, opnode* n2);
// Removes exactly what ins_go_so_arc(n1, n2) added. Always 1.
int_t del_go_so_arc(opnode* n1, opnode* n2);

// The arcs from the readers of the earlier value to store w1 placed behind w
// (null: w1 is the first store of its address). -1 when refused.
int_t ins_go_arc_caused_by_writes(opnode* w, opnode* w1);
int_t del_go_arc_caused_by_writes(opnode* w, opnode* w1);

// Whether a value written in session sa1 is read by a third session that
// cannot lie between sa1 and sa2: 1 not settled yet, -1 contradicted, 0 none.
int_t hasLdInOtherP(opnode* sa1, opnode* sa2);

// The next store after n inside n's session (n an acquire or a store), or null.
opnode* nextStoreOfCurSync(const opnode* n);
// 1 when acquire sa may start now as far as the scans go: no unplaced session
// of another processor lying wholly in sa's scan must come first.
int_t isTimedSync(const opnode* sa, const NodeMarks& visited);
