# Turns a Markdown document into an scdoc manual page, so that one text is both the document and
# the page (docs/protocol.md becomes virelo-protocol(7)). It reads the small part of Markdown that
# such a document uses, and the document keeps to it:
#   "# Title" on the first line (dropped: the page has its NAME section instead), the text up to
#   the first "## " heading (DESCRIPTION), "## " and "### " headings, paragraphs, "- " lists with
#   continuation lines indented by two spaces and one level of "  - " items inside them, code
#   blocks indented by four spaces after a blank line or fenced with ```, `code`, **bold** and
#   [text](link). No tables, no numbered lists, no other emphasis.
# Variables: page, the page's first line (e.g. "virelo-protocol(7)"); name, its NAME line; see,
# its SEE ALSO line.
# Usage: awk -v page=... -v name=... -v see=... -f md-to-scd.awk document.md > page.scd

# Inline Markdown to scdoc: code spans lose their backquotes and have scdoc's markers escaped,
# links keep their text, **bold** becomes scdoc's *bold*.
function inline(text,    out, start, stop) {
  out = ""
  while ((start = index(text, "`")) > 0) {
    out = out prose(substr(text, 1, start - 1))
    text = substr(text, start + 1)
    stop = index(text, "`")
    if (stop == 0) { out = out "`"; break }
    out = out escaped(substr(text, 1, stop - 1))
    text = substr(text, stop + 1)
  }
  return out prose(text)
}

# scdoc's markers and its escape character, escaped.
function escaped(code,    out, i, c) {
  out = ""
  for (i = 1; i <= length(code); ++i) {
    c = substr(code, i, 1)
    if (c == "\\" || c == "*" || c == "_") out = out "\\"
    out = out c
  }
  return out
}

function prose(text,    link) {
  while (match(text, /\[[^]]*\]\([^)]*\)/)) {
    link = substr(text, RSTART + 1, RLENGTH - 1)
    sub(/\]\(.*$/, "", link)
    text = substr(text, 1, RSTART - 1) link substr(text, RSTART + RLENGTH)
  }
  gsub(/\*\*/, "*", text)
  return text
}

function endCode() {
  if (indented) { print "```"; indented = 0 }
}

BEGIN { fenced = 0; indented = 0; inList = 0; blank = 1 }

NR == 1 && /^# / {
  print page; print ""; print "# NAME"; print ""; print name; print ""; print "# DESCRIPTION"
  next
}

fenced {
  print
  if (/^```/) fenced = 0
  next
}

/^```/ { endCode(); print "```"; fenced = 1; next }

/^    / && !inList && (blank || indented) {
  if (!indented) { print "```"; indented = 1 }
  print substr($0, 5)
  blank = 0
  next
}

{ endCode() }

/^[ \t]*$/ { print ""; blank = 1; inList = 0; next }

/^## / { print "# " toupper(substr($0, 4)); blank = 0; next }
/^### / { print "## " substr($0, 5); blank = 0; next }

/^- / { inList = 1 }

inList && /^  - / { print "\t- " inline(substr($0, 5)); blank = 0; next }
inList && /^    / { print "\t  " inline(substr($0, 5)); blank = 0; next }

{ print inline($0); blank = 0 }

END {
  endCode()
  if (fenced) print "```"
  print ""; print "# SEE ALSO"; print ""; print see
}
