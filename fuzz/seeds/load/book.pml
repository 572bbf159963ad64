\pThe Café \a151 \bChapter\B
\x\X0Title\X0\x
\cCentred\c \rRight\r \tIndented\t
\q="#n1"link\q \Q="n1" \m="pic.png" \w="50%"
\U00e9\-\\ \vhidden\v \C1="Chapter" \T="5%" \Fn="1"note\Fn \Sp2\Sp
\iitalic \bboth\i bold\b \uunder\u \ostrike\o
\pThe Café \a151 \bChapter\B
\x\X0Title\X0\x
\cCentred\c \rRight\r \tIndented\t
\q="#n1"link\q \Q="n1" \m="pic.png" \w="50%"
\U00e9\-\\ \vhidden\v \C1="Chapter" \T="5%" \Fn="1"note\Fn \Sp2\Sp
\iitalic \bboth\i bold\b \uunder\u \ostrike\o
\pThe Café \a151 \bChapter\B
\x\X0Title\X0\x
\cCentred\c \rRight\r \tIndented\t
\q="#n1"link\q \Q="n1" \m="pic.png" \w="50%"
\U00e9\-\\ \vhidden\v \C1="Chapter" \T="5%" \Fn="1"note\Fn \Sp2\Sp
\iitalic \bboth\i bold\b \uunder\u \ostrike\o
