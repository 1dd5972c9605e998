#!/usr/bin/env python3
"""Turns the change history (resources/doc/index.html) into the package's release records.

Each release is an <h3> whose text ends in its version ("Версия 2.0.0.6"); what follows it up to the
next <h3> is its description: <h4> headings, paragraphs and lists. A release may name its date in a
data-date attribute (YYYY-MM-DD); one without takes the date given on the command line.

usage: PackageMetadata.py HISTORY --date YYYY-MM-DD --maintainer "Name <mail>"
           [--metainfo TEMPLATE OUT --substitute KEY=VALUE ...] [--changelog OUT]
The metainfo template gets the releases at @BRINDLECAST_RELEASES@ and each KEY at @KEY@; the
changelog is the Debian changelog of the package, compressed as Debian wants it (gzip -9n).
"""

import argparse
import datetime
import gzip
import html
import html.parser
import re
import sys
import textwrap
from xml.sax.saxutils import escape


class Release:
    def __init__(self, version, date):
        self.version = version
        self.date = date
        self.blocks = []  # ("h", heading), ("p", text) or ("ul", [text, ...])


class HistoryParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.releases = []
        self.tag = None      # the block element whose text is being read
        self.text = []
        self.date = None
        self.in_list = False

    def handle_starttag(self, tag, attrs):
        if tag in ("h3", "h4", "p", "li"):
            self.tag = tag
            self.text = []
            if tag == "h3":
                self.date = dict(attrs).get("data-date")
        elif tag == "ul" and self.releases:
            self.in_list = True
            self.releases[-1].blocks.append(("ul", []))

    def handle_endtag(self, tag):
        if tag == "ul":
            self.in_list = False
            return
        if tag != self.tag:
            return
        text = " ".join("".join(self.text).split())
        self.tag = None
        if tag == "h3":
            match = re.search(r"(\d+(?:\.\d+)+)\s*$", text)
            if not match:
                raise SystemExit(f"PackageMetadata: a release heading without a version: {text!r}")
            self.releases.append(Release(match.group(1), self.date))
        elif not self.releases:
            return
        elif tag == "li" and self.in_list:
            self.releases[-1].blocks[-1][1].append(text)
        elif tag == "h4":
            self.releases[-1].blocks.append(("h", text))
        else:
            self.releases[-1].blocks.append(("p", text))

    def handle_data(self, data):
        if self.tag:
            self.text.append(data)


def read_releases(path, default_date):
    parser = HistoryParser()
    with open(path, encoding="utf-8") as f:
        parser.feed(f.read())
    parser.close()
    if not parser.releases:
        raise SystemExit(f"PackageMetadata: no release in {path}")
    for release in parser.releases:
        release.date = release.date or default_date
        datetime.date.fromisoformat(release.date)
    return parser.releases


def metainfo_releases(releases):
    out = []
    for release in releases:
        out.append(f'    <release version="{release.version}" date="{release.date}">')
        out.append("      <description>")
        for kind, content in release.blocks:
            if kind == "h":
                out.append(f"        <p>{escape(content.rstrip(':'))}:</p>")
            elif kind == "p":
                out.append(f"        <p>{escape(content)}</p>")
            elif content:
                out.append("        <ul>")
                out.extend(f"          <li>{escape(item)}</li>" for item in content)
                out.append("        </ul>")
        out.append("      </description>")
        out.append("    </release>")
    return "\n".join(out)


def changelog(releases, maintainer):
    out = []
    for release in releases:
        out.append(f"brindlecast ({release.version}) unstable; urgency=medium")
        out.append("")
        for kind, content in release.blocks:
            if kind == "h":
                out.append(f"  [ {content} ]")
                continue
            for item in [content] if kind == "p" else content:
                out.extend(textwrap.wrap(item, width=78, initial_indent="  * ", subsequent_indent="    ",
                                         break_long_words=False, break_on_hyphens=False))
        when = datetime.datetime.fromisoformat(release.date).replace(hour=12, tzinfo=datetime.timezone.utc)
        out.append("")
        out.append(f" -- {maintainer}  {when.strftime('%a, %d %b %Y %H:%M:%S +0000')}")
        out.append("")
    return "\n".join(out[:-1]) + "\n"


def main():
    args = argparse.ArgumentParser()
    args.add_argument("history")
    args.add_argument("--date", required=True)
    args.add_argument("--maintainer", required=True)
    args.add_argument("--metainfo", nargs=2, metavar=("TEMPLATE", "OUT"))
    args.add_argument("--substitute", action="append", default=[], metavar="KEY=VALUE")
    args.add_argument("--changelog", metavar="OUT")
    options = args.parse_args()
    releases = read_releases(options.history, options.date)

    if options.metainfo:
        template, out = options.metainfo
        with open(template, encoding="utf-8") as f:
            text = f.read()
        values = dict(item.split("=", 1) for item in options.substitute)
        values["BRINDLECAST_RELEASES"] = metainfo_releases(releases)
        text = re.sub(r"@([A-Z_]+)@", lambda m: values[m.group(1)], text)
        with open(out, "w", encoding="utf-8") as f:
            f.write(text)
    if options.changelog:
        # mtime 0 and no file name, as gzip -9n writes it, so that the package builds reproducibly.
        with open(options.changelog, "wb") as raw:
            with gzip.GzipFile(filename="", mode="wb", fileobj=raw, compresslevel=9, mtime=0) as f:
                f.write(changelog(releases, options.maintainer).encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
