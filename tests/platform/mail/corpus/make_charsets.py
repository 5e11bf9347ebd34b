#!/usr/bin/env python3
"""Writes charsets/*.eml: one message per character set, with the subject, the
sender's name, a plain-text and an HTML body in that set. Each file names what
the import must produce in X-Expected-Text (base64 of the UTF-8 text) and
X-Expected-Codepage."""
import base64
import os

SETS = [
    # (label, python codec, Windows code page, sample text)
    ("iso-8859-1", "iso8859_1", 28591, "Grüße aus Köln, ça va? Ñandú"),
    ("iso-8859-2", "iso8859_2", 28592, "Zażółć gęślą jaźń"),
    ("iso-8859-3", "iso8859_3", 28593, "Ĉu vi parolas Esperanton? ĝis ŭ"),
    ("iso-8859-4", "iso8859_4", 28594, "Latviešu ķēniņš Ģ"),
    ("iso-8859-5", "iso8859_5", 28595, "Привет, мир"),
    ("iso-8859-6", "iso8859_6", 28596, "مرحبا بالعالم"),
    ("iso-8859-7", "iso8859_7", 28597, "Καλημέρα κόσμε"),
    ("iso-8859-8", "iso8859_8", 28598, "שלום עולם"),
    ("iso-8859-9", "iso8859_9", 28599, "Günaydın İstanbul ş ğ"),
    ("iso-8859-10", "iso8859_10", 65001, "Þórður ŋ ŧ"),
    ("iso-8859-11", "iso8859_11", 65001, "สวัสดีครับ"),
    ("iso-8859-13", "iso8859_13", 28603, "Labdien ą č ę ė į š ų ū ž"),
    ("iso-8859-14", "iso8859_14", 65001, "Helô Cymru ŵ ŷ Ḃ"),
    ("iso-8859-15", "iso8859_15", 28605, "Prix: 20 € œuvre Šš Žž"),
    ("iso-8859-16", "iso8859_16", 65001, "Bună ziua, România ș ț €"),
    ("windows-1250", "cp1250", 1250, "Příliš žluťoučký kůň – „úpěl“"),
    ("windows-1251", "cp1251", 1251, "Съешь же ещё этих мягких булок — «да»"),
    ("windows-1252", "cp1252", 1252, "“Smart quotes” – €100 … œ"),
    ("windows-1253", "cp1253", 1253, "Ελληνικά – «τεστ» €"),
    ("windows-1254", "cp1254", 1254, "Türkçe ğüşıöç İ – €"),
    ("windows-1255", "cp1255", 1255, "עברית – ₪"),
    ("windows-1256", "cp1256", 1256, "العربية – €"),
    ("windows-1257", "cp1257", 1257, "Eesti õ ä ö ü š ž – €"),
    ("windows-1258", "cp1258", 1258, "Đ ư ơ ă â ê ô ₫"),
    ("koi8-r", "koi8_r", 20866, "Съешь же ещё этих булок"),
    ("koi8-u", "koi8_u", 21866, "Їжак і ґава, Україна"),
    ("iso-2022-jp", "iso2022_jp", 50220, "日本語のテキストです"),
    ("iso-2022-kr", "iso2022_kr", 50225, "안녕하세요 세계"),
    ("euc-jp", "euc_jp", 51932, "こんにちは世界"),
    ("euc-kr", "euc_kr", 51949, "대한민국 서울"),
    ("shift_jis", "shift_jis", 932, "東京都 カタカナ"),
    ("gb2312", "gb2312", 936, "简体中文测试"),
    ("gbk", "gbk", 936, "简体中文 喆"),
    ("gb18030", "gb18030", 54936, "中文 𠀀 ®"),
    ("big5", "big5", 950, "繁體中文測試"),
    ("utf-8", "utf_8", 65001, "Ünïcödé ✓ 😀 中文"),
    ("utf-7", "utf_7", 65000, "Grüße ☺ 中文"),
]

SEVEN_BIT = {"iso-2022-jp", "iso-2022-kr", "utf-7"}


def encoded_word(label, codec, text):
    return "=?%s?B?%s?=" % (label, base64.b64encode(text.encode(codec)).decode())


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = os.path.join(here, "charsets")
    os.makedirs(out_dir, exist_ok=True)
    for label, codec, cp, text in SETS:
        cte = "7bit" if label in SEVEN_BIT else "8bit"
        html = "<html><body><p>%s</p></body></html>" % text
        head = "\r\n".join([
            "From: %s <sender@example.com>" % encoded_word(label, codec, text[:6]),
            "To: reader@example.net",
            "Subject: %s" % encoded_word(label, codec, text),
            "Date: Thu, 13 Mar 2003 13:13:13 +0000",
            "MIME-Version: 1.0",
            'Content-Type: multipart/alternative; boundary="CS"',
            "X-Expected-Text: " + base64.b64encode(text.encode()).decode(),
            "X-Expected-Name: " + base64.b64encode(text[:6].encode()).decode(),
            "X-Expected-Codepage: %d" % cp,
            "", "--CS",
            "Content-Type: text/plain; charset=\"%s\"" % label,
            "Content-Transfer-Encoding: " + cte, "", ""]).encode("ascii")
        mid = "\r\n".join(["", "--CS",
                           "Content-Type: text/html; charset=%s" % label,
                           "Content-Transfer-Encoding: " + cte, "", ""]).encode("ascii")
        tail = b"\r\n--CS--\r\n"
        data = head + text.encode(codec) + mid + html.encode(codec) + tail
        with open(os.path.join(out_dir, label + ".eml"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
