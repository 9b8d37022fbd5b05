#!/usr/bin/env python3
"""Writes the double-byte sample texts of the tests: for each language, about 300 report-like lines
that mix double-byte text with ASCII words, digits and blanks, in the language's EUC and in UTF-8.

Every double-byte character is checked with iconv to have a double-byte code in the language's host
set, and the ASCII part keeps to the characters whose EBCDIC form is the same in the program's
built-in table and in that set's single-byte part (no backslash, caret, tilde, brackets or dollar).
Run it from anywhere; it rewrites the files next to itself.
"""
import os
import random
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))

PHRASES = {
    "ja": """東京本社の売上報告|大阪支店　在庫一覧|名古屋工場の生産計画|請求書を送付します|月次決算のお知らせ|
品質管理部門|新しい顧客の登録|注文番号を確認してください|出荷予定日は来週です|会議室の予約|部品の発注数量|
年間保守契約の更新|システムの定期点検|給与計算処理　完了|データベースの移行作業|印刷ジョブを実行中|
営業部　佐藤|経理部　鈴木|総務課　高橋|技術部　田中|製造部　渡辺|人事部　伊藤|東京都千代田区丸の内|
神奈川県横浜市西区|北海道札幌市中央区|福岡県福岡市博多区|「重要」至急確認のこと。|ありがとうございました。|
よろしくお願いいたします。|春の桜、夏の海、秋の紅葉、冬の雪。|明日は雨が降るでしょう。|この文書は機密扱いです。|
合計金額（税込）|前年同月比|株式会社　山田製作所|有限会社　中村商店|電子計算機センター|ソフトウェア開発|
ハードウェア保守|ネットワーク障害の報告|バックアップ完了|コンピュータとプリンタ|ファイルをサーバーへ転送|
製品番号ＡＢＣ１２３|長さ５０ｍｍ、重さ２ｋｇ|第３四半期の見通し|以上、ご報告まで。""",
    "ko": """서울 본사 매출 보고서|부산 지점 재고 목록|월간 결산 안내|청구서를 보내드립니다|품질 관리 부서|
신규 고객 등록|주문 번호를 확인하십시오|출하 예정일은 다음 주입니다|회의실 예약|부품 발주 수량|
연간 유지보수 계약 갱신|시스템 정기 점검|급여 계산 처리 완료|데이터베이스 이전 작업|인쇄 작업 실행 중|
영업부 김철수|경리부 이영희|총무과 박민수|기술부 최지은|서울특별시 중구 세종대로|부산광역시 해운대구|
대구광역시 수성구|감사합니다.|잘 부탁드립니다.|봄에는 꽃이 피고 가을에는 단풍이 물듭니다.|
내일은 비가 오겠습니다.|이 문서는 대외비입니다.|합계 금액 (부가세 포함)|전년 동월 대비|
주식회사 한빛전자|컴퓨터 센터|소프트웨어 개발|네트워크 장애 보고|백업 완료|韓國銀行 本店|
株式會社 報告書|제품 번호 ＡＢＣ１２３|길이 ５０ｍｍ，무게 ２ｋｇ|제３분기 전망|이상 보고를 마칩니다.|
「중요」 즉시 확인할 것|한글과 漢字를 함께 씁니다|오늘의 날씨는 맑음""",
    "zh_CN": """北京总公司销售报告|上海分公司库存清单|广州工厂生产计划|请查收发票|月度结算通知|质量管理部门|
新客户登记|请确认订单号码|预计下周发货|会议室预订|零件订购数量|年度维护合同续签|系统定期检查|
工资计算处理完毕|数据库迁移工作|正在执行打印作业|销售部　王伟|财务部　李娜|行政部　张敏|技术部　刘洋|
北京市海淀区中关村|上海市浦东新区|广东省深圳市南山区|谢谢您的合作。|请多关照。|春天花开，秋天叶落。|
明天有雨。|本文件为机密文件。|合计金额（含税）|与去年同期相比|计算机中心|软件开发|硬件维护|
网络故障报告|备份完成|中华人民共和国|产品编号ＡＢＣ１２３|长度５０ｍｍ，重量２ｋｇ|第三季度展望|
以上，特此报告。|“重要”请立即确认|汉字与拼音|今天天气晴朗""",
    "zh_TW": """台北總公司銷售報告|高雄分公司庫存清單|台中工廠生產計畫|請查收發票|月度結算通知|品質管理部門|
新客戶登記|請確認訂單號碼|預計下週出貨|會議室預約|零件訂購數量|年度維護合約續約|系統定期檢查|
薪資計算處理完畢|資料庫移轉作業|正在執行列印工作|業務部　陳志明|財務部　林美玲|行政部　黃建國|
技術部　吳淑芬|台北市信義區|新北市板橋區|高雄市前鎮區|謝謝您的合作。|請多指教。|春天花開，秋天葉落。|
明天會下雨。|本文件為機密文件。|合計金額（含稅）|與去年同期相比|電腦中心|軟體開發|硬體維護|
網路故障報告|備份完成|中華民國|產品編號ＡＢＣ１２３|長度５０ｍｍ，重量２ｋｇ|第三季展望|
以上，謹此報告。|「重要」請立即確認|漢字與注音|今天天氣晴朗""",
}

# language: (host set, EUC name for iconv, file suffix of the EUC file)
LANGUAGES = {
    "ja": ("IBM939", "EUC-JP", "euc-jp"),
    "ko": ("IBM933", "EUC-KR", "euc-kr"),
    "zh_CN": ("IBM935", "EUC-CN", "gb2312"),
    "zh_TW": ("IBM937", "EUC-TW", "euc-tw"),
}

ASCII_WORDS = ["ORDER", "item-42", "A/B", "OK", "Total:", "(see note)", "100%", "x+y=z", "JOB01",
               "DSN=PROD.DATA", "rc=0", "page 3/7", "Q4", "v2.1", "#17", "user@host", "a*b", "N/A",
               "'quoted'", "\"x\"", "ok!", "why?", "R&D", "<none>", "CLASS=A", "10:30", "2024-03-31"]
ASCII_LINES = ["Monthly report for the host", "END OF REPORT", "Line printer output follows:",
               "Status: all jobs completed, rc=0", "Prepared by the operations team.",
               "Totals carried forward to next page", "   indented ASCII text   "]


def lines_for(lang):
    phrases = [p.strip() for p in PHRASES[lang].replace("\n", "").split("|") if p.strip()]
    rnd = random.Random(lang)
    out = []
    for i in range(1, 301):
        kind = rnd.randrange(9)
        p, q = rnd.choice(phrases), rnd.choice(phrases)
        w = rnd.choice(ASCII_WORDS)
        if kind == 0:
            line = f"{i:04d} {p}"
        elif kind == 1:
            line = f"{i:04d} {p} {w} {rnd.randrange(100000)}"
        elif kind == 2:
            line = f"  {p} {q}"
        elif kind == 3:
            line = rnd.choice(ASCII_LINES) if i % 2 else f"{i:04d} {w} {rnd.randrange(1000):>6}"
        elif kind == 4:
            line = p + q
        elif kind == 5:
            line = "" if i % 3 == 0 else f"{rnd.randrange(10**7):>8} {p}    {rnd.randrange(10**5):>6}"
        elif kind == 6:
            line = f"{p}\u3000{q}"
        elif kind == 7:
            line = f"{w} {p} {rnd.randrange(1000)}.{rnd.randrange(100):02d} {w}"
        else:
            line = f"{i:04d}  {p}  {rnd.randrange(10)}"
        out.append(line)
    return out


def iconv(data, src, dst):
    return subprocess.run(["iconv", "-f", src, "-t", dst], input=data, capture_output=True, check=True).stdout


def check(lang, text):
    host = LANGUAGES[lang][0]
    for ch in sorted(set(text)):
        if ord(ch) < 0x80:
            continue
        got = iconv(ch.encode(), "UTF-8", host)
        if len(got) != 4 or got[0] != 0x0E or got[3] != 0x0F:
            raise SystemExit(f"{lang}: {ch!r} U+{ord(ch):04X} is not double-byte in {host}: {got.hex()}")


def main():
    for lang, (host, euc, suffix) in LANGUAGES.items():
        text = "".join(line + "\n" for line in lines_for(lang))
        check(lang, text)
        utf8 = text.encode()
        with open(os.path.join(HERE, f"{lang}.utf-8.txt"), "wb") as f:
            f.write(utf8)
        with open(os.path.join(HERE, f"{lang}.{suffix}.txt"), "wb") as f:
            f.write(iconv(utf8, "UTF-8", euc))


if __name__ == "__main__":
    main()
